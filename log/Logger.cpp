#include "log/Logger.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QStandardPaths>
#include <QTextStream>

#include <utility>

namespace Vorlant {

namespace {

constexpr QIODevice::OpenMode kLogOpenMode =
    QIODevice::ReadWrite | QIODevice::Append | QIODevice::Text;

QString logFilePath(const QString& fileName) {
    return QDir(Logger::logDirectory()).absoluteFilePath(fileName);
}

} // namespace

struct Logger::Private {
    QFile mainFile;
    std::shared_ptr<QTextStream> mainStream;
    QMap<QString, std::pair<std::shared_ptr<QFile>, std::shared_ptr<QTextStream>>> categories;

    void openMainFile() {
        if (mainFile.open(kLogOpenMode))
            mainStream = std::make_shared<QTextStream>(&mainFile);
    }
};

Logger::Logger()
    : d(std::make_unique<Private>()) {
    QDir(logDirectory()).mkpath(QStringLiteral("."));
    d->mainFile.setFileName(logFilePath(QStringLiteral("vorlant.log")));
    d->openMainFile();
}

Logger::~Logger() = default;

Logger& Logger::instance() {
    static Logger logger;
    return logger;
}

QString Logger::logDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::DataLocation) + QStringLiteral("/log");
}

void Logger::info(const QString& category, const QString& message) {
    instance().record(QStringLiteral("info"), category, message);
}

void Logger::error(const QString& category, const QString& message) {
    instance().record(QStringLiteral("error"), category, message);
}

QString Logger::formatLine(const QDateTime& when, const QString& level, const QString& message) {
    // Chained single-argument arg() calls: a "%1" inside the message stays literal text.
    return QStringLiteral("[%1] [%2]  %3")
        .arg(when.toString(QStringLiteral("dd.MM.yyyy hh:mm")))
        .arg(level, 5)
        .arg(message);
}

void Logger::record(const QString& level, const QString& category, const QString& message) {
    const QString line = formatLine(QDateTime::currentDateTime(), level, message);
    qDebug("%s", line.toLocal8Bit().constData());

    // The file is opened in text mode, which writes every "\n" as the platform's line break;
    // a "\r\n" inside the message (a style sheet checked out on Windows) would become "\r\r\n".
    QString fileLine = line;
    fileLine.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMutexLocker lock(&m_mutex);
    if (QTextStream* stream = streamFor(category.toLower()))
        *stream << fileLine << Qt::endl;
}

QTextStream* Logger::mainStream() {
    // The main file may have been unopenable at start (missing rights, no directory); try
    // again so that the log recovers once the cause is gone.
    if (!d->mainStream) {
        QDir(logDirectory()).mkpath(QStringLiteral("."));
        d->openMainFile();
    }
    return d->mainStream.get();
}

QTextStream* Logger::streamFor(const QString& category) {
    if (category.isEmpty())
        return mainStream();
    const auto known = d->categories.constFind(category);
    if (known != d->categories.cend())
        return known->second.get();

    auto file = std::make_shared<QFile>(logFilePath(category + QStringLiteral(".log")));
    if (!file->open(kLogOpenMode))
        return mainStream();
    auto stream = std::make_shared<QTextStream>(file.get());
    d->categories.insert(category, {file, stream});
    return stream.get();
}

} // namespace Vorlant
