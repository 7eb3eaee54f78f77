#pragma once

#include "ui/FlatListModel.h"

namespace Vorlant {

// The core counts a coin can be mined with: row r stands for r cores, row 0 for "not mined".
// One instance is shared by the cores combo of every coin row.
class CpuCoresModel final : public FlatListModel {
    Q_OBJECT

public:
    explicit CpuCoresModel(QObject* parent = nullptr);

    static CpuCoresModel& instance();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    quint32 m_cores;
};

} // namespace Vorlant
