// morvessa-add-collection: puts a collection folder into the desktop's menu, or takes it out.
//
//   morvessa-add-collection DIR            link the program into DIR, copy the help and tour
//                                          pages there when missing, write a menu entry
//   morvessa-add-collection --remove DIR   undo exactly that
//
// Exit 0 when done; 1 when --remove finds no entry for DIR; 2 on a failure or a wrong
// command line. Messages go to standard error, what was done to standard output.
#include "base/filesizelimit.h"
#include "text/terminalwidth.h"
#include "tools/collection/collection.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

namespace {

void printLine(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
}

} // namespace

int main(int argc, char *argv[])
{
    morvessa::letWritesPastTheSizeLimitFail();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(MORVESSA_VERSION));
    QTranslator qtTexts; // "Usage:", "Options:" in Traditional Chinese
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::Taiwan), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "把資料集的資料夾加入桌面的選單：在資料夾中建立程式的連結，沒有 Help.htm、demo.htm 時複製一份，"
            "並在 %1 寫入以資料夾命名的選單項目。")
            .arg(morvessa::collection::applicationsFolder()));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("顯示這份說明後結束。"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("顯示版本後結束。"));
    const QCommandLineOption remove(QStringLiteral("remove"),
                                    QStringLiteral("移除 DIR 的選單項目，並刪除加入時建立、之後沒有改過的檔案。"));
    parser.addOptions({help, version, remove});
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("資料集的資料夾（含 jst.mdb）。"));

    if (!parser.parse(QCoreApplication::arguments())) {
        printLine(stderr, QStringLiteral("morvessa-add-collection: %1\n用法請見 morvessa-add-collection --help")
                              .arg(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        printLine(stdout, morvessa::wrapForTerminal(parser.helpText()));
        return 0;
    }
    if (parser.isSet(version)) {
        printLine(stdout, QStringLiteral("morvessa-add-collection ") + QCoreApplication::applicationVersion());
        return 0;
    }
    if (parser.positionalArguments().size() != 1) {
        printLine(
            stderr,
            QStringLiteral("morvessa-add-collection: 請給一個資料夾。\n用法請見 morvessa-add-collection --help"));
        return 2;
    }
    const QString folder = parser.positionalArguments().constFirst();
    using namespace morvessa::collection;
    const Outcome outcome =
        parser.isSet(remove) ? removeCollection(folder)
                             : addCollection(folder, findInstallation(QCoreApplication::applicationDirPath(),
                                                                      QStringLiteral(MORVESSA_SAMPLE_RELATIVE)));
    if (outcome.status != Outcome::Done) {
        printLine(stderr, QStringLiteral("morvessa-add-collection: ") + outcome.message);
        return outcome.status == Outcome::NotAdded ? 1 : 2;
    }
    printLine(stdout, outcome.message);
    return 0;
}
