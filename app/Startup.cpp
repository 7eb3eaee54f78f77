#include "app/Startup.h"

#include "log/Logger.h"
#include "settings/Settings.h"
#include "ui/MainDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>

#ifdef Q_OS_WIN
#include <iterator>
#include <windows.h>
#endif

namespace Vorlant {

namespace {

QString executableDirectory(const char* argv0) {
#ifdef Q_OS_WIN
    Q_UNUSED(argv0);
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, DWORD(std::size(path)));
    if (length > 0 && length < std::size(path))
        return QFileInfo(QString::fromWCharArray(path, int(length))).absolutePath();
#else
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists())
        return QFileInfo(self.canonicalFilePath()).absolutePath();
#endif
    return argv0 ? QFileInfo(QString::fromLocal8Bit(argv0)).absolutePath() : QString();
}

} // namespace

void extendLibraryPath(const char* argv0) {
    const QString directory = executableDirectory(argv0);
    if (directory.isEmpty())
        return;
    QStringList paths = QCoreApplication::libraryPaths();
    paths.append(QDir(directory).absolutePath());
    QCoreApplication::setLibraryPaths(paths);
}

void enableHighDpi() {
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#ifdef Q_OS_WIN
    // Windows scales in exact steps (150 % is 144 DPI), which Qt 5 would round up to 200 %.
    // An X server's DPI comes from the screen's size in millimetres, a little off 96 even on
    // an ordinary screen: there the rounding keeps 100 % at 1x.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
}

void applyStyleSheet(QApplication& app, const QString& resource) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly)) {
        Logger::error(QString(), QStringLiteral("Unable to open file with stylesheet"));
        return;
    }
    const QByteArray styleSheet = QByteArray(kStyleSheetPrefix) + file.readAll();
    Logger::info(QString(), QString::fromUtf8(styleSheet));
    app.setStyleSheet(QString::fromUtf8(styleSheet));
}

void applyDefaultFont() {
    // The style sheet asks for Roboto, which few machines have. Linux's fontconfig then picks
    // a sans face, but the Windows font mapper may pick a serif one: name the fallbacks.
    QFont::insertSubstitutions(QStringLiteral("Roboto"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Segoe UI"),
                                QStringLiteral("Tahoma"), QStringLiteral("Arial")});
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::PreferAntialias);
    QApplication::setFont(font);
}

void prepareApplication(QApplication& app) {
    // The name is part of the data location, so it must be set before the first log entry.
    QCoreApplication::setApplicationName(QStringLiteral("vorlant-service"));
    applyStyleSheet(app);
    applyDefaultFont();
    Settings::instance().migrate();
}

int runApplication(int argc, char** argv) {
    extendLibraryPath(argc > 0 ? argv[0] : nullptr);
    enableHighDpi();
    QApplication app(argc, argv);
    prepareApplication(app);

    // Lives until the process ends, as the only window of the program.
    auto* dialog = new MainDialog();
    dialog->show();
    return app.exec();
}

} // namespace Vorlant
