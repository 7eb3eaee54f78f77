#pragma once

#include "ui/PoolCatalogue.h"

#include <QByteArray>
#include <QDialog>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

class QLabel;

namespace Ui {
class MainDialog;
}

namespace Vorlant {

class CatalogueLoader;
class CoinRowsGrid;
enum class StoreFault;

// The program's only main window: e-mail, proxy button and one row per coin of the catalogue.
// Every change is written to the store the moment it is made; there is nothing to save.
class MainDialog final : public QDialog {
    Q_OBJECT

public:
    MainDialog();
    ~MainDialog() override;

public slots:
    void poolResponce(quint32 _code, QByteArray _data, QVariant _user_data);
    void proxyDialogClicked();

protected:
    // Watches a list open while the catalogue came, to build its rows once the list closes.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void requestCatalogue();
    // One line where the rows would be while the catalogue fails; gone when the rows come.
    void showCatalogueFailure(const QString& message);
    void endCatalogueWait();
    void showProxyNotice();
    // Under the proxy's line: the stored settings that could not be read.
    void showDamagedNotice();
    // After every change: a write-back, and the notice line when the store keeps nothing.
    void watchStore();
    void scheduleStoreCheck();
    void checkStore();
    void applyStoreFault(StoreFault fault);
    static QString storeNotice(StoreFault fault, const QString& location);
    void addHeaderRow();
    void showRows(const QVector<CoinRow>& rows);

    Ui::MainDialog* m_ui;
    CatalogueLoader* m_catalogue = nullptr;
    QLabel* m_catalogue_line = nullptr;
    QLabel* m_proxy_line = nullptr;
    QLabel* m_damaged_line = nullptr;
    bool m_rows_built = false; // from the catalogue
    CoinRowsGrid* m_rows = nullptr;
    int m_first_height = 0;
    QByteArray m_pending_reply;
    QTimer m_store_check;
};

} // namespace Vorlant
