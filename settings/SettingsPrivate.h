#pragma once

#include "settings/Settings.h"

#include <QSettings>

#include <memory>

namespace Vorlant {

struct Settings::Private {
    std::shared_ptr<QSettings> store;
    StoreFault fault = StoreFault::None;
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
