// Catalogue handling from reply bytes to rows built and entries written, for one catalogue
// size per run. scripts/bench-catalogue.sh runs it for several sizes and prints the table.
// With --bare it builds the same rows with Qt alone instead, as the yardstick: the same labels
// and combo boxes, the partners in one QStandardItemModel filled at once and one plain
// QSortFilterProxyModel per row; no reply to read and no store to write.
//
//   bench_catalogue --store DIR --coins N [--partners P] [--bare]
//
// DIR becomes the system-scope settings folder (and HOME), so the store used is
// DIR/vorlant/Vorlant.conf and never the machine's. Prints one tab-separated line: coins, entries
// already stored, then milliseconds of CPU time for handling, write-back and first layout.

#include "settings/Settings.h"
#include "ui/MainDialog.h"

#include "ui/CpuCoresModel.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QGridLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTextStream>

#include <cstdio>
#include <ctime>

using namespace Vorlant;

namespace {

QString coinId(int i) {
    return QStringLiteral("coin%1").arg(i, 5, 10, QLatin1Char('0'));
}

QJsonObject server(int i) {
    return {{"ip", QStringLiteral("pool%1.example.net").arg(i)},
            {"stratumPort", 3000 + i},
            {"httpPort", 8000 + i}};
}

QByteArray makeCatalogue(int coins, int partners) {
    QJsonObject root;
    for (int i = 0; i < coins; ++i) {
        QJsonObject merged;
        for (int p = 1; p <= partners; ++p)
            merged.insert(coinId((i + p) % coins), server((i + p) % coins));
        QJsonObject pool = server(i);
        pool.insert("merged", merged);
        root.insert(coinId(i), QJsonObject{{"name", QStringLiteral("Coin %1").arg(i)},
                                           {"family", "cryptonight"},
                                           {"ticker", QStringLiteral("c%1").arg(i)},
                                           {"precision", 12},
                                           {"showByDefault", i % 2 == 0},
                                           {"server", pool}});
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

// Same effect as the tests' isolation: the system-scope store, HOME and XDG under one folder.
void isolate(const QString& dir) {
    for (const char* sub : {"home", "config", "data", "cache"})
        QDir(dir).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", QFile::encodeName(dir + QStringLiteral("/home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir + QStringLiteral("/data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir + QStringLiteral("/cache")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir + QStringLiteral("/config"));
}

const int kCoinRole = Qt::UserRole + 2;

// Shows the "No" row (no coin) and the rows of one coin.
class BareProxy final : public QSortFilterProxyModel {
public:
    explicit BareProxy(const QString& coin)
        : m_coin(coin) {}

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const QString coin = sourceModel()->index(row, 0, parent).data(kCoinRole).toString();
        return coin.isEmpty() || coin == m_coin;
    }

private:
    QString m_coin;
};

Q_NEVER_INLINE void buildBareRows(QDialog& dialog, int coins, int partners) {
    auto* pools = new QStandardItemModel(&dialog);
    pools->appendRow(new QStandardItem(QStringLiteral("No")));
    for (int i = 0; i < coins; ++i) {
        for (int p = 1; p <= partners; ++p) {
            auto* item = new QStandardItem(QStringLiteral("C%1").arg((i + p) % coins));
            item->setData(coinId((i + p) % coins), Qt::UserRole);
            item->setData(coinId(i), kCoinRole);
            pools->appendRow(item);
        }
    }
    auto* grid = new QGridLayout(&dialog);
    for (int i = 0; i < coins; ++i) {
        auto* cores = new QComboBox(&dialog);
        cores->setModel(&CpuCoresModel::instance());
        cores->setFrame(false);
        auto* proxy = new BareProxy(coinId(i));
        proxy->setParent(&dialog);
        proxy->setSourceModel(pools);
        auto* merged = new QComboBox(&dialog);
        merged->setModel(proxy);
        grid->addWidget(new QLabel(QStringLiteral("C%1").arg(i), &dialog), i + 1, 0, Qt::AlignLeft);
        grid->addWidget(cores, i + 1, 1, Qt::AlignCenter);
        grid->addWidget(merged, i + 1, 2, Qt::AlignCenter);
    }
}

// CPU time of the GUI thread, which does all of the work measured: unlike the wall clock, it does
// not count the time other processes on a busy machine take the processor away.
class CpuTimer {
public:
    void start() { m_start = now(); }
    double restartMs() {
        const double then = m_start;
        m_start = now();
        return (m_start - then) * 1e3;
    }

private:
    static double now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    }
    double m_start = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"store", "Folder of the throwaway store.", "dir"});
    parser.addOption({"coins", "Number of coins in the catalogue.", "n", "1000"});
    parser.addOption({"partners", "Merged-mining partners per coin.", "n", "2"});
    parser.addOption({"bare", "Build the rows with Qt alone, as the yardstick."});
    parser.process(app);
    const QString store = parser.value("store");
    if (store.isEmpty() || !QDir(store).exists()) {
        std::fprintf(stderr, "bench_catalogue: --store must name an existing folder\n");
        return 2;
    }
    isolate(QDir(store).absolutePath());

    const int coins = parser.value("coins").toInt();
    if (parser.isSet("bare")) {
        QDialog dialog;
        CpuTimer timer;
        timer.start();
        buildBareRows(dialog, coins, parser.value("partners").toInt());
        const double handling = timer.restartMs();
        dialog.adjustSize();
        const double layout = timer.restartMs();
        QTextStream(stdout) << coins << "\t0\t" << QString::number(handling, 'f', 1) << "\t0.0\t"
                            << QString::number(layout, 'f', 1) << '\n';
        return 0;
    }
    const QByteArray reply = makeCatalogue(coins, parser.value("partners").toInt());
    Settings& settings = Settings::instance();
    // A local port where nothing listens, so the dialog's own request stays on the machine.
    settings.setValue(QStringLiteral("server"), QStringLiteral("http://127.0.0.1:9"));
    const int stored = settings.miners().size();

    MainDialog dialog;
    CpuTimer timer;
    timer.start();
    dialog.poolResponce(200, reply, QStringLiteral("pool"));
    const double handling = timer.restartMs();
    QSettings(QSettings::NativeFormat, QSettings::SystemScope, QLatin1String(kStoreOrganisation),
              QLatin1String(kStoreApplication))
        .sync();
    const double writeBack = timer.restartMs();
    dialog.adjustSize();
    const double layout = timer.restartMs();

    QTextStream(stdout) << coins << '\t' << stored << '\t' << QString::number(handling, 'f', 1)
                        << '\t' << QString::number(writeBack, 'f', 1) << '\t'
                        << QString::number(layout, 'f', 1) << '\n';
    return 0;
}
