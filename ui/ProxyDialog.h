#pragma once

#include "ui/ProxyFields.h"

#include <QDialog>

#include <memory>

namespace Ui {
class ProxyDialog;
}

namespace Vorlant {

// Chooses how the program and the service reach the network. OK stores the choice and puts it
// in force at once; Cancel and Escape leave the store as it was.
class ProxyDialog final : public QDialog {
    Q_OBJECT

public:
    explicit ProxyDialog(QWidget* parent = nullptr);
    ~ProxyDialog() override;

public slots:
    void accept() override;

private:
    void loadSettings();
    ProxyMode chosenMode() const;
    ProxyFields fields() const;
    void storeSettings(ProxyMode mode, const ProxyFields& fields);

    std::unique_ptr<Ui::ProxyDialog> m_ui;
};

} // namespace Vorlant
