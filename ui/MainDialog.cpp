#include "ui/MainDialog.h"

#include "settings/ServerUrl.h"
#include "settings/Settings.h"
#include "ui/ProxyDialog.h"
#include "ui_MainDialog.h"

#include <QLabel>

namespace Vorlant {

MainDialog::MainDialog()
    : QDialog(nullptr)
    , m_ui(new Ui::MainDialog) {
    m_ui->setupUi(this);
    Settings& settings = Settings::instance();
    const QString email = settings.value(QStringLiteral("email"), QVariant()).toString();
    loadServerUrl(settings);
    m_ui->m_email_edit->setText(email);
    addHeaderRow();
    connect(m_ui->m_email_edit, &QLineEdit::textChanged, [](const QString& text) {
        Settings::instance().setValue(QStringLiteral("email"), text);
    });
}

MainDialog::~MainDialog() {
    delete m_ui;
}

void MainDialog::addHeaderRow() {
    m_ui->m_coins_layout->addWidget(new QLabel(tr("Currency"), this), 0, 0, Qt::AlignLeft);
    m_ui->m_coins_layout->addWidget(new QLabel(tr("Cores number"), this), 0, 1, Qt::AlignCenter);
    m_ui->m_coins_layout->addWidget(new QLabel(tr("Merged mining"), this), 0, 2, Qt::AlignCenter);
}

void MainDialog::poolResponce(quint32 _code, QByteArray _data, QVariant _user_data) {
    Q_UNUSED(_code);
    Q_UNUSED(_data);
    Q_UNUSED(_user_data);
}

void MainDialog::proxyDialogClicked() {
    ProxyDialog dialog(this);
    dialog.exec();
}

} // namespace Vorlant
