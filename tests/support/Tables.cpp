// Kept apart from the rest of the environment: the fuzz targets share that, without QtTest.
#include "support/TestEnvironment.h"

#include <QTest>

namespace Vorlant::Test {

void addRows(const QString& table) {
    QTest::addColumn<QStringList>("row");
    const QString text = QString(readFile(VORLANT_TEST_DATA "/tables/" + table)).replace("\\t", "\t");
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        QStringList cells = line.split('|');
        if (!line.startsWith('#'))
            QTest::newRow(qPrintable(cells.takeFirst())) << cells;
    }
}

} // namespace Vorlant::Test
