#pragma once

#include "ui/ProxyFields.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;

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
    // False after marking the field and saying why: custom mode needs a usable address and port.
    bool customFieldsUsable(const ProxyFields& typed);
    void markField(QLineEdit* field, bool invalid);
    void storeSettings(ProxyMode mode, const ProxyFields& fields);

    std::unique_ptr<Ui::ProxyDialog> m_ui;
    QLabel* m_error_line;
};

} // namespace Vorlant
