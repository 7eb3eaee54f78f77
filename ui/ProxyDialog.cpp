#include "ui/ProxyDialog.h"

#include "network/NetworkEnvironment.h"
#include "settings/Settings.h"
#include "ui_ProxyDialog.h"

#include <QLabel>
#include <QStyle>

namespace Vorlant {

namespace {

const QString kModeKey = QStringLiteral("proxy");
const QString kUrlKey = QStringLiteral("proxy-url");

} // namespace

ProxyDialog::ProxyDialog(QWidget* parent)
    : QDialog(parent, Qt::CustomizeWindowHint)
    , m_ui(std::make_unique<Ui::ProxyDialog>()) {
    m_ui->setupUi(this);
    // Hidden until OK is refused, so valid input sees the dialog as it always was.
    m_error_line = new QLabel(m_ui->m_custom_proxy_frame);
    m_error_line->setObjectName(QStringLiteral("m_proxy_error_label"));
    m_error_line->hide();
    m_ui->verticalLayout_2->addWidget(m_error_line);
    // Disabled only once its fields are complete: a widget made inside a disabled frame is
    // announced to screen readers half-built, and they would keep it as a nameless plain widget.
    m_ui->m_custom_proxy_frame->setEnabled(false);
    loadSettings();
    // While the store keeps nothing, OK would only pretend to save.
    m_ui->m_proxy_ok_pb->setEnabled(Settings::instance().fault() == StoreFault::None);
}

ProxyDialog::~ProxyDialog() = default;

void ProxyDialog::loadSettings() {
    const Settings& settings = Settings::instance();
    switch (proxyModeFromText(settings.value(kModeKey, QStringLiteral("no")).toString())) {
    case ProxyMode::NoProxy:
        m_ui->m_no_proxy_radio->setChecked(true);
        break;
    case ProxyMode::System:
        m_ui->m_system_proxy_radio->setChecked(true);
        break;
    case ProxyMode::Custom:
        m_ui->m_custom_proxy_radio->setChecked(true);
        break;
    }
    // Shown whatever the mode, so a proxy switched off once is still there to switch back on.
    const ProxyFields stored = ProxyFields::fromUrl(settings.value(kUrlKey).toUrl());
    m_ui->m_proxy_addr_edit->setText(stored.address);
    m_ui->m_proxy_port_edit->setText(stored.port);
}

ProxyMode ProxyDialog::chosenMode() const {
    if (m_ui->m_no_proxy_radio->isChecked())
        return ProxyMode::NoProxy;
    if (m_ui->m_system_proxy_radio->isChecked())
        return ProxyMode::System;
    return ProxyMode::Custom;
}

ProxyFields ProxyDialog::fields() const {
    return {m_ui->m_proxy_addr_edit->text(), m_ui->m_proxy_port_edit->text()};
}

void ProxyDialog::accept() {
    const ProxyMode mode = chosenMode();
    const ProxyFields typed = fields();
    // Stored, such input would leave the user without the proxy they asked for, and connect
    // direct without a word; stay open on the field instead.
    if (mode == ProxyMode::Custom && !customFieldsUsable(typed))
        return;
    storeSettings(mode, typed);
    NetworkEnvironment::instance().applyProxySettings();
    QDialog::accept();
}

bool ProxyDialog::customFieldsUsable(const ProxyFields& typed) {
    const ProxyFieldsProblem problem = typed.customProblem();
    QString why;
    switch (problem) {
    case ProxyFieldsProblem::None:
        break;
    case ProxyFieldsProblem::NoAddress:
        why = tr("Enter the proxy's address.");
        break;
    case ProxyFieldsProblem::BadAddress:
        why = tr("Enter a host name or an IP address only.");
        break;
    case ProxyFieldsProblem::BadPort:
        why = tr("Enter a port from 1 to 65535.");
        break;
    }
    const bool portWrong = problem == ProxyFieldsProblem::BadPort;
    markField(m_ui->m_proxy_addr_edit, !why.isEmpty() && !portWrong);
    markField(m_ui->m_proxy_port_edit, portWrong);
    m_error_line->setText(why);
    m_error_line->setVisible(!why.isEmpty());
    return why.isEmpty();
}

void ProxyDialog::markField(QLineEdit* field, bool invalid) {
    // The style sheet draws a field with this property in red.
    field->setProperty("invalid", invalid);
    field->style()->unpolish(field);
    field->style()->polish(field);
    if (invalid) {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    }
}

void ProxyDialog::storeSettings(ProxyMode mode, const ProxyFields& typed) {
    Settings& settings = Settings::instance();
    settings.setValue(kModeKey, proxyModeText(mode));
    // An unusable address in a disabled field must not wipe the last good one.
    if (typed.addressFitsUrl())
        settings.setValue(kUrlKey, typed.toUrl().toString());
}

} // namespace Vorlant
