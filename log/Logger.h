#pragma once

#include <QMutex>
#include <QObject>
#include <QString>

#include <memory>

class QDateTime;
class QTextStream;

namespace Vorlant {

// The process-wide plain-text log. Entries without a category go to "vorlant.log", entries
// with one to "<category>.log" beside it; every entry also goes to the debug output.
class Logger final : public QObject {
    Q_OBJECT

public:
    static void info(const QString& category, const QString& message);
    static void error(const QString& category, const QString& message);

    // One log line without its line break, e.g. "[06.03.2026 18:05] [ info]  message".
    static QString formatLine(const QDateTime& when, const QString& level, const QString& message);
    static QString logDirectory();

    ~Logger() override;

private:
    Logger();
    static Logger& instance();
    void record(const QString& level, const QString& category, const QString& message);
    QTextStream* streamFor(const QString& category);
    QTextStream* mainStream();

    struct Private;
    std::unique_ptr<Private> d;
    QMutex m_mutex;
};

} // namespace Vorlant
