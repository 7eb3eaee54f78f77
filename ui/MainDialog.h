#pragma once

#include <QByteArray>
#include <QDialog>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

#include <memory>

class QComboBox;

namespace Ui {
class MainDialog;
}

namespace Vorlant {

class DownloadManager;
struct CatalogueCoin;
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

private:
    void requestCatalogue();
    // After every change: a write-back, and the notice line when the store keeps nothing.
    void watchStore();
    void scheduleStoreCheck();
    void checkStore();
    void applyStoreFault(StoreFault fault);
    static QString storeNotice(StoreFault fault, const QString& location);
    void addHeaderRow();
    void addCoinRow(int row, const CatalogueCoin& coin, const QVariantMap& storedEntry);
    QComboBox* createCoresCombo(const QString& coin, bool running);
    QComboBox* createMergedMiningCombo(const QString& coin, const QString& mergedMining);

    Ui::MainDialog* m_ui;
    std::shared_ptr<DownloadManager> m_manager;
    QTimer m_store_check;
};

} // namespace Vorlant
