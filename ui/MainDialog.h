#pragma once

#include <QByteArray>
#include <QDialog>
#include <QVariant>

namespace Ui {
class MainDialog;
}

namespace Vorlant {

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
    void addHeaderRow();

    Ui::MainDialog* m_ui;
};

} // namespace Vorlant
