#pragma once

#include "settings/Settings.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

namespace Vorlant {

struct Settings::Private {
    std::shared_ptr<QSettings> store;
    StoreFault fault = StoreFault::None;
    // A store file with damaged values that cannot be repaired (no right to write it, a full
    // disk) is read from a repaired copy, kept here; nothing can be saved to the store then.
    std::unique_ptr<QTemporaryDir> repairedCopy;
    QString copiedFrom;

    void open();
    // Keeps Qt's reader from the store file's damaged values; run before Qt reads or writes it.
    void guardStoreFile();
};

// Enters a chain of groups and leaves all of them when it goes out of scope, so no operation
// can return with the store still inside a group.
class GroupScope final {
public:
    GroupScope(QSettings& store, std::initializer_list<QString> groups)
        : m_store(store) {
        for (const QString& group : groups) {
            m_store.beginGroup(group);
            ++m_depth;
        }
    }
    ~GroupScope() {
        while (m_depth-- > 0)
            m_store.endGroup();
    }
    Q_DISABLE_COPY(GroupScope)

private:
    QSettings& m_store;
    int m_depth = 0;
};

} // namespace Vorlant
