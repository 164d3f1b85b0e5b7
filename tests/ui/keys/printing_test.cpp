#include "pdftext.h"
#include "registry.h"
#include "ui/printing.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class PrintingTest : public QObject {
    Q_OBJECT
private slots:
    void pdfPage();
    void unwritableFile();
};

void PrintingTest::pdfPage()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.pdf"));
    const QString title = QStringLiteral("人參 Panax Ginseng");
    QCOMPARE(morvessa::pdfFileTarget(path)->printLines({QString(), QString(), title}), QString());

    QCOMPARE(pdfText(path).trimmed(), title);
    // The word boxes tell where the line stands and how large it is set: below two empty
    // lines of 12-point type, in glyphs about 12 points high.
    const QString boxes = pdfText(path, {QStringLiteral("-bbox")});
    static const QRegularExpression page(QStringLiteral("<page width=\"([\\d.]+)\""));
    QCOMPARE(boxes.count(page), 1);
    static const QRegularExpression word(
        QStringLiteral("yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"([\\d.]+)\">Panax<"));
    const auto m = word.match(boxes);
    QVERIFY2(m.hasMatch(), qPrintable(boxes));
    const double yMin = m.captured(1).toDouble(), yMax = m.captured(2).toDouble();
    QVERIFY2(yMax - yMin > 9 && yMax - yMin < 16, qPrintable(boxes));
    // The first line starts at the page's margin; the title is the third line.
    QVERIFY2(yMin > 2 * 12, qPrintable(boxes));
}

void PrintingTest::unwritableFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no such folder/page.pdf"));
    const QString message = morvessa::pdfFileTarget(path)->printLines({QStringLiteral("x")});
    QVERIFY(!message.isEmpty());
    QVERIFY(message.contains(QStringLiteral("列印")));
}

REGISTER_TEST(PrintingTest)
#include "printing_test.moc"
