#include "ui/MainDialog.h"

#include "log/Logger.h"
#include "network/NetworkEnvironment.h"
#include "settings/ServerUrl.h"
#include "settings/Settings.h"
#include "settings/StoreGuard.h"
#include "ui/CatalogueLoader.h"
#include "ui/CoinRowsGrid.h"
#include "ui/PoolCatalogue.h"
#include "ui/ProxyDialog.h"
#include "ui/RowsArea.h"
#include "ui_MainDialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QNetworkRequest>
#include <QPixmap>
#include <QUrl>

namespace Vorlant {

namespace {

// The resource has no suffix, so a reader left to guess the format would load every installed
// image plugin and ask each about the bytes first. The logo is a PNG, which Qt reads itself.
// Scaled screens get the drawing made at twice the size, brought smoothly to their scale.
QPixmap logo() {
    const qreal ratio = qMax(qGuiApp->devicePixelRatio(), 1.0);
    QImageReader reader(
        ratio > 1.0 ? QStringLiteral(":/images/logo@2x") : QStringLiteral(":/images/logo"), "png");
    reader.setAutoDetectImageFormat(false);
    if (ratio > 1.0)
        reader.setScaledSize(reader.size() * ratio / 2.0);
    QPixmap pixmap = QPixmap::fromImageReader(&reader);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

MainDialog::MainDialog()
    : QDialog(nullptr)
    , m_ui(new Ui::MainDialog) {
    Settings& settings = Settings::instance();
    loadServerUrl(settings);
    // The request goes out before the form is built: its round trip then overlaps the form's
    // first text, which loads the fonts. Its answer comes through the event loop, after this.
    requestCatalogue();
    m_ui->setupUi(this);
    m_first_height = height();
    m_rows = new CoinRowsGrid(m_ui->m_coins_layout, m_ui->m_coins_frame);
    connect(m_rows, &CoinRowsGrid::choiceSignal, this, &MainDialog::scheduleStoreCheck);
    m_ui->label_2->setPixmap(logo());
    m_ui->m_email_edit->setText(settings.value(QStringLiteral("email"), QVariant()).toString());
    showProxyNotice();
    addHeaderRow();
    connect(m_ui->m_email_edit, &QLineEdit::textChanged, [this](const QString& text) {
        Settings::instance().setValue(QStringLiteral("email"), text);
        scheduleStoreCheck();
    });
    watchStore();
    // Once shown, when the window's frame is known: a small screen may not hold even the form.
    QTimer::singleShot(0, m_ui->m_coins_area, &RowsArea::fitWindow);
}

MainDialog::~MainDialog() {
    delete m_ui;
}

void MainDialog::requestCatalogue() {
    // Only scheme, host and port of the stored server count: a path it carries is replaced.
    QUrl url = Settings::instance().value(QStringLiteral("server"), QVariant()).toUrl();
    url.setPath(QStringLiteral("/api/2.3/pool/config"), QUrl::DecodedMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    m_catalogue = new CatalogueLoader(request, this);
    connect(m_catalogue, SIGNAL(replySignal(quint32, QByteArray, QVariant)), this,
            SLOT(poolResponce(quint32, QByteArray, QVariant)));
    connect(m_catalogue, &CatalogueLoader::failedSignal, this, &MainDialog::showCatalogueFailure);
    m_catalogue->requestNow();
}

void MainDialog::showCatalogueFailure(const QString& message) {
    if (!m_catalogue_line) {
        m_catalogue_line = new QLabel(m_ui->m_coins_frame);
        m_catalogue_line->setObjectName(QStringLiteral("m_catalogue_notice_label"));
        m_catalogue_line->setTextFormat(Qt::PlainText);
        m_catalogue_line->setWordWrap(true);
        m_ui->m_coins_layout->addWidget(m_catalogue_line, 1, 0, 1, 3);
    }
    // The coins already set up stay within reach meanwhile, as the store holds them.
    if (m_rows->isEmpty())
        showRows(storedRows(entriesAsStored(Settings::instance())));
    const QString saved =
        tr("Below are the coins as last saved; the coin list will be loaded again.");
    m_catalogue_line->setText(m_rows->isEmpty() ? message : message + QLatin1Char(' ') + saved);
    // The height of a wrapped text depends on its width and on the font the style sheet gives
    // it, and the window's minimum height leaves that out.
    m_catalogue_line->ensurePolished();
    m_catalogue_line->setMinimumHeight(
        m_catalogue_line->heightForWidth(m_ui->m_coins_frame->width()));
}

void MainDialog::endCatalogueWait() {
    m_catalogue->stop();
    delete m_catalogue_line;
    m_catalogue_line = nullptr;
}

void MainDialog::showProxyNotice() {
    const QString notice = NetworkEnvironment::instance().proxyNotice();
    if (!m_proxy_line) {
        m_proxy_line = new QLabel(this);
        m_proxy_line->setObjectName(QStringLiteral("m_proxy_notice_label"));
        m_proxy_line->setTextFormat(Qt::PlainText);
        m_proxy_line->setWordWrap(true);
        QBoxLayout* column = m_ui->verticalLayout;
        column->insertWidget(column->indexOf(m_ui->m_store_notice_label) + 1, m_proxy_line);
    }
    m_proxy_line->setText(notice);
    m_proxy_line->setVisible(!notice.isEmpty());
}

void MainDialog::showDamagedNotice() {
    const QString notice = damagedKeysNotice(damagedKeys());
    if (!m_damaged_line && !notice.isEmpty()) {
        m_damaged_line = new QLabel(this);
        m_damaged_line->setObjectName(QStringLiteral("m_damaged_notice_label"));
        m_damaged_line->setTextFormat(Qt::PlainText);
        m_damaged_line->setWordWrap(true);
        QBoxLayout* column = m_ui->verticalLayout;
        column->insertWidget(column->indexOf(m_proxy_line) + 1, m_damaged_line);
    }
    if (m_damaged_line)
        m_damaged_line->setText(notice);
}

void MainDialog::watchStore() {
    // One check per pass of the event loop, however many keystrokes it delivers.
    m_store_check.setSingleShot(true);
    m_store_check.setInterval(0);
    connect(&m_store_check, &QTimer::timeout, this, &MainDialog::checkStore);
    // Space may have been freed or the right granted meanwhile: coming back to the window tries
    // the write-back again, since the locked inputs make no writes that would.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive &&
                    Settings::instance().fault() != StoreFault::None)
                    scheduleStoreCheck();
            });
    checkStore();
}

void MainDialog::scheduleStoreCheck() {
    m_store_check.start();
}

void MainDialog::checkStore() {
    Settings& settings = Settings::instance();
    const QString notice = storeNotice(settings.writeBack(), settings.location());
    QLabel* line = m_ui->m_store_notice_label;
    if (!notice.isEmpty() && notice != line->text())
        Logger::error(QString(), notice);
    line->setText(notice);
    line->setVisible(!notice.isEmpty());
    applyStoreFault(settings.fault());
    showDamagedNotice();
}

// Nothing may look saved that is not: the inputs that write take no changes meanwhile.
void MainDialog::applyStoreFault(StoreFault fault) {
    const bool writable = fault == StoreFault::None;
    m_ui->m_email_edit->setReadOnly(!writable);
    m_ui->m_coins_frame->setEnabled(writable);
}

QString MainDialog::storeNotice(StoreFault fault, const QString& location) {
    switch (fault) {
    case StoreFault::NoPermission:
        return tr("Settings can't be saved: no permission to change %1").arg(location);
    case StoreFault::WriteFailed:
        return tr("Settings can't be saved: writing %1 failed").arg(location);
    case StoreFault::None:
        break;
    }
    return QString();
}

// Under the catalogue's failure line, if it is shown.
void MainDialog::showRows(const QVector<CoinRow>& rows) {
    m_rows->show(rows, m_catalogue_line ? 2 : 1, m_ui->m_email_edit);
}

void MainDialog::addHeaderRow() {
    QGridLayout* grid = m_ui->m_coins_layout;
    grid->addWidget(new QLabel(tr("Currency"), m_ui->m_coins_frame), 0, 0, Qt::AlignLeft);
    grid->addWidget(new QLabel(tr("Cores number"), m_ui->m_coins_frame), 0, 1, Qt::AlignCenter);
    grid->addWidget(new QLabel(tr("Merged mining"), m_ui->m_coins_frame), 0, 2, Qt::AlignCenter);
}

void MainDialog::poolResponce(quint32 _code, QByteArray _data, QVariant _user_data) {
    Q_UNUSED(_user_data);
    if (_code != 200 || m_rows_built)
        return;
    // A list open in a row is not pulled away from under the user: the rows change once it closes.
    if (QWidget* popup = QApplication::activePopupWidget()) {
        m_pending_reply = _data;
        popup->installEventFilter(this);
        return;
    }
    endCatalogueWait();
    const QVector<CatalogueCoin> coins = parseCatalogue(_data);
    m_rows_built = !coins.isEmpty();
    const bool storedShown = !m_rows->isEmpty();
    showRows(catalogueRows(coins, Settings::instance().miners()));
    // Rows shown from the store with the failure line may have made the window taller than on a
    // start where the catalogue came at once.
    if (storedShown) {
        m_ui->m_coins_area->updateGeometry(); // the minimum height without the line, now
        layout()->activate();
        resize(width(), m_first_height);
    }
    scheduleStoreCheck();
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide) {
        watched->removeEventFilter(this);
        // Queued: a choice made in the list is reported after the list is hidden, to a row that
        // must still be there.
        QTimer::singleShot(0, this, [this] { poolResponce(200, m_pending_reply, QVariant()); });
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::proxyDialogClicked() {
    ProxyDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    scheduleStoreCheck();
    showProxyNotice();
    // The catalogue may have failed for want of the proxy just set: no need to wait for it.
    m_catalogue->requestNow();
}

} // namespace Vorlant
