// The windows started in variant search (morvessa --variants): simplified, traditional and
// variant forms found alike, every form found marked, the mode in the title; and the
// program as it always was without it.
#include "fixtures.h"

#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "store/connstring.h"
#include "text/variants.h"
#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"
#include "ui/logic/startoptions.h"
#include "ui/picturebutton.h"
#include "ui/resultgrid.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using morvessa::FrmIni;
using morvessa::FrmZendrelMain;
using morvessa::StartOptions;

class VariantSearchTest : public QObject {
    Q_OBJECT
private slots:
    void startOptions();
    void simplifiedQueryFindsAndMarksTheTraditionalForm();
    void everyQueryFindsWhatTheTerminalSearchFinds();
    void withoutTheModeNothingChanges();
    void unreadableDictionariesFallBackToExactSearch();
};

namespace {

QStringList gridTitles(FrmZendrelMain *main)
{
    QStringList titles;
    for (int row = 1; row < main->Grd1->Rows(); ++row)
        titles << main->Grd1->TextMatrix(row, 0);
    return titles;
}

// What morvessa-query finds for the query, in its order.
QStringList searchTitles(const QString &query, morvessa::Matching matching)
{
    const auto searched = morvessa::runSearch(morvessa::ConnString, morvessa::analyseQuery(query), matching);
    QStringList titles;
    if (searched && searched->found())
        for (int row = 0; row < searched->rows->count(); ++row)
            titles << searched->rows->text(row, 0);
    return titles;
}

const QString kTitle = QStringLiteral("Morvessa-目錄瀏覽 & 關鍵字搜尋");

} // namespace

void VariantSearchTest::startOptions()
{
    const struct {
        QStringList arguments;
        StartOptions::Action action;
        bool variants;
    } cases[] = {
        {{}, StartOptions::Run, false},
        {{QStringLiteral("--variants")}, StartOptions::Run, true},
        // Qt's and the browser engine's own options are theirs, wherever they stand.
        {{QStringLiteral("--no-sandbox"), QStringLiteral("--variants"), QStringLiteral("x")},
         StartOptions::Run,
         true},
        {{QStringLiteral("--variant")}, StartOptions::Run, false},
        {{QStringLiteral("--"), QStringLiteral("--variants")}, StartOptions::Run, false},
        {{QStringLiteral("--variants"), QStringLiteral("-h")}, StartOptions::ShowHelp, false},
        {{QStringLiteral("--help")}, StartOptions::ShowHelp, false},
        {{QStringLiteral("-v")}, StartOptions::ShowVersion, false},
        {{QStringLiteral("--version")}, StartOptions::ShowVersion, false},
    };
    for (const auto &c : cases) {
        const StartOptions options = morvessa::parseStartOptions(c.arguments);
        QCOMPARE(options.action, c.action);
        if (c.action == StartOptions::Run)
            QCOMPARE(options.variants, c.variants);
        else
            QVERIFY(!options.text.isEmpty());
    }
    QVERIFY(morvessa::parseStartOptions({QStringLiteral("--help")}).text.contains(QStringLiteral("--variants")));
}

void VariantSearchTest::simplifiedQueryFindsAndMarksTheTraditionalForm()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    const auto chosen = FrmZendrelMain::chooseVariantSearch(morvessa::variantTable());
    FrmZendrelMain *main = openMainWindow(folder, chosen);
    QVERIFY(main);
    QVERIFY(main->searchesVariants());
    QCOMPARE(main->windowTitle(), kTitle + QStringLiteral("（異體字）"));

    pressEnter(main, QStringLiteral("发热"));
    QVERIFY(recorder.messages.empty());
    QCOMPARE(main->TxtQuery->currentText(), QStringLiteral("发热")); // the query stays as typed
    const QStringList traditional = searchTitles(QStringLiteral("發熱"), morvessa::Matching::Exact);
    QVERIFY(!traditional.isEmpty());
    QCOMPARE(gridTitles(main), traditional);
    QVERIFY(readFile(main->PagePath).contains(big5(QStringLiteral("<font color=red>發熱</font>"))));
    // Another row: its page too.
    QTest::keyClick(main->Grd1, Qt::Key_Down);
    QCOMPARE(main->ct->text(), QStringLiteral("第2筆"));
    QVERIFY(readFile(main->PagePath).contains(big5(QStringLiteral("<font color=red>發熱</font>"))));

    // Nothing found: the message names the query as typed, not its folded form.
    pressEnter(main, QStringLiteral("-无此词汇"));
    QCOMPARE(recorder.messages.size(), size_t(1));
    QCOMPARE(recorder.messages.at(0).text, QStringLiteral(" 全文檢索搜尋　[ 无此词汇 ]　資料不存在"));
    QCOMPARE(gridTitles(main), traditional);
}

void VariantSearchTest::everyQueryFindsWhatTheTerminalSearchFinds()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    const auto chosen = FrmZendrelMain::chooseVariantSearch(morvessa::variantTable());
    FrmZendrelMain *main = openMainWindow(folder, chosen);
    QVERIFY(main);
    // The list-all of the load step.
    QCOMPARE(gridTitles(main), searchTitles(QString(), morvessa::Matching::Variants));

    const QString queries[] = {QStringLiteral("-发热 头痛"), QStringLiteral("+脉 咳嗽"), QStringLiteral("脾_气"),
                               QStringLiteral("  ")};
    for (const QString &query : queries) {
        const QStringList expected = searchTitles(query, morvessa::Matching::Variants);
        QVERIFY2(!expected.isEmpty(), qPrintable(query));
        pressEnter(main, query);
        QCOMPARE(gridTitles(main), expected);
    }
    // Run with the button, then chosen again from the box's history.
    main->TxtQuery->setEditText(QStringLiteral("头痛"));
    main->Command1->click();
    const QStringList headache = gridTitles(main);
    QCOMPARE(headache, searchTitles(QStringLiteral("頭痛"), morvessa::Matching::Exact));
    pressEnter(main, QString());
    main->TxtQuery->setCurrentIndex(main->TxtQuery->findText(QStringLiteral("头痛")));
    QTest::keyClick(main->TxtQuery, Qt::Key_Return);
    QCOMPARE(gridTitles(main), headache);
    QVERIFY(readFile(main->PagePath).contains(big5(QStringLiteral("<font color=red>頭痛</font>"))));
    QVERIFY(recorder.messages.empty());
}

void VariantSearchTest::withoutTheModeNothingChanges()
{
    TestFolder folder(sampleCollection());
    Recorder recorder;
    FrmZendrelMain *main = openMainWindow(folder);
    QVERIFY(main);
    QVERIFY(!main->searchesVariants());
    QCOMPARE(main->windowTitle(), kTitle);
    pressEnter(main, QStringLiteral("发热"));
    QCOMPARE(recorder.messages.size(), size_t(1));
    QCOMPARE(recorder.messages.at(0).text, QStringLiteral(" 全文檢索搜尋　[ 发热 ]　資料不存在"));
    QVERIFY(main->SqlText.contains(QStringLiteral("content like '%发热%'")));
}

void VariantSearchTest::unreadableDictionariesFallBackToExactSearch()
{
    // The dictionaries missing, and all there with one of them damaged.
    QTemporaryDir missing, damaged;
    QVERIFY(missing.isValid() && damaged.isValid());
    const QDir system(morvessa::variantDataFolder());
    for (const QString &name : system.entryList({QStringLiteral("*.ocd2")}, QDir::Files))
        QVERIFY(QFile::copy(system.filePath(name), damaged.filePath(name)));
    QFile broken(damaged.filePath(QStringLiteral("TSCharacters.ocd2")));
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write(QByteArray(4096, '\x5a'));
    broken.close();

    for (const QString &dictionaries : {missing.path(), damaged.path()}) {
        TestFolder folder(sampleCollection());
        Recorder recorder;
        const auto chosen = FrmZendrelMain::chooseVariantSearch(morvessa::VariantTable::load(dictionaries));
        QCOMPARE(recorder.messages.size(), size_t(1));
        const QString said = recorder.messages.at(0).text;
        QCOMPARE(recorder.messages.at(0).kind, morvessa::MessageKind::Failure);
        QVERIFY2(said.contains(QStringLiteral("改用一般檢索")) && said.contains(dictionaries), qPrintable(said));

        FrmZendrelMain *main = openMainWindow(folder, chosen);
        QVERIFY(main);
        QVERIFY(!main->searchesVariants());
        QCOMPARE(main->windowTitle(), kTitle);
        pressEnter(main, QStringLiteral("發熱"));
        QCOMPARE(gridTitles(main), searchTitles(QStringLiteral("發熱"), morvessa::Matching::Exact));
        pressEnter(main, QStringLiteral("发热"));
        QCOMPARE(recorder.messages.size(), size_t(2));
        QCOMPARE(recorder.messages.at(1).text, QStringLiteral(" 全文檢索搜尋　[ 发热 ]　資料不存在"));
    }
}

REGISTER_TEST(VariantSearchTest)

#include "variantsearch_test.moc"
