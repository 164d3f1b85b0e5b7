#include "registry.h"
#include "ui/logic/rowtip.h"

#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<int>)

class RowTipTest : public QObject {
    Q_OBJECT
private slots:
    void rowUnderPointer_data();
    void rowUnderPointer();
};

void RowTipTest::rowUnderPointer_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("pos");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("rows");
    QTest::addColumn<std::optional<int>>("row");
    const std::optional<int> unchanged;

    // Row 1 no higher than its distance from the top: the quotient is (y - 1.5 h) / h.
    QTest::newRow("300/300 y=0") << 300 << 300 << 0.0 << 100 << std::optional(1);
    QTest::newRow("300/300 y=100 header") << 300 << 300 << 100.0 << 100 << std::optional(0);
    QTest::newRow("300/300 y=300") << 300 << 300 << 300.0 << 100 << std::optional(1);
    QTest::newRow("300/300 y=450") << 300 << 300 << 450.0 << 100 << std::optional(1);
    QTest::newRow("300/300 y=600") << 300 << 300 << 600.0 << 100 << std::optional(1);
    QTest::newRow("300/300 y=601") << 300 << 300 << 601.0 << 100 << std::optional(2);
    QTest::newRow("300/300 y=750") << 300 << 300 << 750.0 << 100 << std::optional(2);
    QTest::newRow("300/300 y=900") << 300 << 300 << 900.0 << 100 << std::optional(3);
    QTest::newRow("300/300 y=1200") << 300 << 300 << 1200.0 << 100 << std::optional(3);
    QTest::newRow("300/300 y=1201") << 300 << 300 << 1201.0 << 100 << std::optional(4);
    QTest::newRow("300/300 y=-1000 above") << 300 << 300 << -1000.0 << 100 << std::optional(4);
    QTest::newRow("pos does not count") << 300 << 900 << 750.0 << 100 << std::optional(2);
    // Row 1 higher than its distance from the top: (y + h / 2 - pos) / h.
    QTest::newRow("300/200 y=0") << 300 << 200 << 0.0 << 100 << std::optional(1);
    QTest::newRow("300/200 y=200") << 300 << 200 << 200.0 << 100 << std::optional(1);
    QTest::newRow("300/200 y=201") << 300 << 200 << 201.0 << 100 << std::optional(2);
    QTest::newRow("300/200 y=500") << 300 << 200 << 500.0 << 100 << std::optional(3);
    QTest::newRow("300/200 y=650") << 300 << 200 << 650.0 << 100 << std::optional(3);
    // Only rows the grid has: header and two records, row 3 does not exist.
    QTest::newRow("3 rows, y=1000") << 300 << 300 << 1000.0 << 3 << unchanged;
    QTest::newRow("3 rows, y=750") << 300 << 300 << 750.0 << 3 << std::optional(2);
    // Where the arithmetic has no answer the tooltip keeps its text.
    QTest::newRow("no row 1") << 300 << 300 << 450.0 << 1 << unchanged;
    QTest::newRow("height 0") << 0 << 0 << 450.0 << 100 << unchanged;
    QTest::newRow("y not a number") << 300 << 300 << qQNaN() << 100 << unchanged;
    // 16-bit bounds: r = 32766 is the last one whose r + 1 fits; r = -32768 the first.
    QTest::newRow("r=32766") << 1 << 1 << 32767.5 << 40000 << std::optional(32767);
    QTest::newRow("r=32767") << 1 << 1 << 32768.6 << 40000 << unchanged;
    QTest::newRow("r=-32768") << 1 << 1 << -32766.5 << 40000 << std::optional(32767);
    QTest::newRow("r=-32769") << 1 << 1 << -32767.6 << 40000 << unchanged;
}

void RowTipTest::rowUnderPointer()
{
    QFETCH(int, height);
    QFETCH(int, pos);
    QFETCH(double, y);
    QFETCH(int, rows);
    QFETCH(std::optional<int>, row);
    QCOMPARE(morvessa::rowTipRow(height, pos, y, rows), row);
}

REGISTER_TEST(RowTipTest)
#include "rowtip_test.moc"
