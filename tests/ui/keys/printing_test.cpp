#include "pdftext.h"
#include "registry.h"
#include "ui/printing.h"

#include <QFileInfo>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

class PrintingTest : public QObject {
    Q_OBJECT
private slots:
    void pdfPage();
    void unwritableFile();
    void printSystemStates_data();
    void printSystemStates();
};

namespace {
using morvessa::JobState;
using morvessa::PrinterState;

// A print system whose answers a test sets: one state before the page is handed over and
// one after; the page itself goes to a PDF file.
class FakePrintSystem : public morvessa::PrintSystem {
public:
    QString name;
    PrinterState before;
    PrinterState after;
    bool takesJob = true;
    std::optional<JobState> job;
    QString pdf;

    QString defaultPrinter() override { return name; }
    PrinterState printer(const QString &queue) override
    {
        asked << queue;
        return handedOver ? after : before;
    }
    int newestJob(const QString &) override { return handedOver && takesJob ? 8 : 7; }
    std::optional<JobState> jobState(const QString &, int id) override
    {
        return id == 8 ? job : std::optional<JobState>(JobState::Completed);
    }
    void direct(QPrinter &printer, const QString &) override
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        handedOver = true;
    }

    QStringList asked;
    bool handedOver = false;
};

PrinterState ready()
{
    return {true, true, false, QString()};
}
} // namespace

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

void PrintingTest::printSystemStates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<PrinterState>("before");
    QTest::addColumn<PrinterState>("after");
    QTest::addColumn<bool>("takesJob");
    QTest::addColumn<std::optional<JobState>>("job");
    QTest::addColumn<bool>("handedOver");
    QTest::addColumn<QStringList>("message"); // words the message holds; none: no message

    const QString office = QStringLiteral("office");
    const std::optional<JobState> none;
    QTest::newRow("queued") << office << ready() << ready() << true << std::optional(JobState::Pending) << true
                            << QStringList();
    QTest::newRow("printing") << office << ready() << ready() << true << std::optional(JobState::Processing)
                              << true << QStringList();
    QTest::newRow("printed already") << office << ready() << ready() << true << std::optional(JobState::Completed)
                                     << true << QStringList();
    QTest::newRow("no default printer")
        << QString() << ready() << ready() << true << none << false << QStringList{QStringLiteral("預設的印表機")};
    QTest::newRow("printer unknown") << office << PrinterState{} << ready() << true << none << false
                                     << QStringList{office, QStringLiteral("找不到")};
    QTest::newRow("not accepting jobs")
        << office << PrinterState{true, false, false, QStringLiteral("Rejecting Jobs")} << ready() << true << none
        << false << QStringList{office, QStringLiteral("不接受"), QStringLiteral("Rejecting Jobs")};
    QTest::newRow("stopped") << office << PrinterState{true, true, true, QStringLiteral("paper jam")} << ready()
                             << true << none << false
                             << QStringList{office, QStringLiteral("已停止"), QStringLiteral("paper jam")};
    QTest::newRow("job aborted at once")
        << office << ready() << PrinterState{true, true, false, QStringLiteral("backend failed")} << true
        << std::optional(JobState::Aborted) << true
        << QStringList{office, QStringLiteral("無法完成"), QStringLiteral("backend failed")};
    QTest::newRow("job cancelled") << office << ready() << ready() << true << std::optional(JobState::Cancelled)
                                   << true << QStringList{office, QStringLiteral("取消")};
    QTest::newRow("printer stopped on the job")
        << office << ready() << PrinterState{true, true, true, QString()} << true
        << std::optional(JobState::Pending) << true << QStringList{office, QStringLiteral("已停止")};
    QTest::newRow("job stopped") << office << ready() << ready() << true << std::optional(JobState::Stopped)
                                 << true << QStringList{office, QStringLiteral("已停止")};
    QTest::newRow("no job appeared") << office << ready() << ready() << false << none << true
                                     << QStringList{office, QStringLiteral("沒有送到")};
}

void PrintingTest::printSystemStates()
{
    QFETCH(QString, name);
    QFETCH(PrinterState, before);
    QFETCH(PrinterState, after);
    QFETCH(bool, takesJob);
    QFETCH(std::optional<JobState>, job);
    QFETCH(bool, handedOver);
    QFETCH(QStringList, message);

    QTemporaryDir dir;
    auto system = std::make_unique<FakePrintSystem>();
    FakePrintSystem *fake = system.get();
    fake->name = name;
    fake->before = before;
    fake->after = after;
    fake->takesJob = takesJob;
    fake->job = job;
    fake->pdf = dir.filePath(QStringLiteral("page.pdf"));
    const QString title = QStringLiteral("桂枝湯");
    const auto target = morvessa::printerTarget(std::move(system)); // owns the fake
    const QString answer = target->printLines({QString(), QString(), title});

    if (message.isEmpty())
        QCOMPARE(answer, QString());
    for (const QString &word : message)
        QVERIFY2(answer.contains(word), qPrintable(answer));
    // A printer that refuses is not given the page; one that takes it is asked about it afterwards.
    QCOMPARE(fake->handedOver, handedOver);
    QCOMPARE(QFileInfo::exists(fake->pdf), handedOver);
    if (handedOver) {
        QCOMPARE(pdfText(fake->pdf).trimmed(), title);
        QCOMPARE(fake->asked, (QStringList{name, name}));
    }
}

REGISTER_TEST(PrintingTest)
#include "printing_test.moc"
