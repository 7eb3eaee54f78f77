#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

namespace Vorlant {

// Base URL of the pool operator's web API, used until the store names another one.
inline const char kDefaultServerUrl[] = "https://api.vorlant.net";

// Coin ids and old engines become group names in the store. An empty one, or one holding a group
// separator, would write into "miners" itself or into another coin's entry; the registry ends a
// key name at NUL, so control characters could do the same on Windows.
bool isUsableCoinId(const QString& id);

// Why the store does not keep what is written to it, if it does not.
enum class StoreFault { None, NoPermission, WriteFailed };

// The one process-wide view of the store shared with the mining service. Every read and write
// goes straight to the backing QSettings; nothing is cached here.
class Settings final {
public:
    static Settings& instance();

    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);
    static QString currentVersion();

    // Writes back what is pending and finds out whether the store keeps what is written: no
    // permission to change it, or a write-back that failed (a full disk). fault() is the last
    // finding; location() names the store for the user.
    StoreFault writeBack();
    StoreFault fault() const;
    QString location() const;

    // Miner entries: one subgroup of "miners" (or "customMiners") per coin.
    QVariantMap miners() const;
    bool setMiner(QVariantMap entry);
    QVariant minerValue(const QString& coin, const QString& key, bool custom,
                        const QVariant& defaultValue = QVariant()) const;
    void setMinerValue(const QString& coin, const QString& key, bool custom, const QVariant& value);

    // Upgrades layouts written by older releases and stamps the current version.
    void migrate();

    // The per-user autostart entry; it lives outside the shared store.
    static bool isAutostartEnabled();
    static void setAutostart(bool enabled);
    static void refreshAutostart();

    struct Private;

private:
    Settings();
    ~Settings();
    Q_DISABLE_COPY(Settings)

    std::unique_ptr<Private> d;
};

} // namespace Vorlant
