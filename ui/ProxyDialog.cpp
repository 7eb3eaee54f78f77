#include "ui/ProxyDialog.h"

#include "network/NetworkEnvironment.h"
#include "settings/Settings.h"
#include "ui_ProxyDialog.h"

namespace Vorlant {

namespace {

const QString kModeKey = QStringLiteral("proxy");
const QString kUrlKey = QStringLiteral("proxy-url");

} // namespace

ProxyDialog::ProxyDialog(QWidget* parent)
    : QDialog(parent, Qt::CustomizeWindowHint)
    , m_ui(std::make_unique<Ui::ProxyDialog>()) {
    m_ui->setupUi(this);
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
    if (mode == ProxyMode::Custom && !typed.addressFitsUrl()) {
        // Storing it would drop the host and quietly leave the user without the proxy they
        // asked for; stay open on the field instead.
        m_ui->m_proxy_addr_edit->setFocus(Qt::OtherFocusReason);
        m_ui->m_proxy_addr_edit->selectAll();
        return;
    }
    storeSettings(mode, typed);
    NetworkEnvironment::instance().applyProxySettings();
    QDialog::accept();
}

void ProxyDialog::storeSettings(ProxyMode mode, const ProxyFields& typed) {
    Settings& settings = Settings::instance();
    settings.setValue(kModeKey, proxyModeText(mode));
    // An unusable address in a disabled field must not wipe the last good one.
    if (typed.addressFitsUrl())
        settings.setValue(kUrlKey, typed.toUrl().toString());
}

} // namespace Vorlant
