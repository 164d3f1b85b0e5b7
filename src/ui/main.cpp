#include "base/filesizelimit.h"
#include "store/appfolder.h"
#include "store/collection.h"
#include "text/variants.h"
#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"
#include "ui/logic/startoptions.h"
#include "ui/painttrace.h"
#include "ui/pictures.h"
#include "ui/qttranslations.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    morvessa::letWritesPastTheSizeLimitFail();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Help and version need no display, so they come before the application.
    const morvessa::StartOptions options = morvessa::parseStartOptions(arguments);
    if (options.action != morvessa::StartOptions::Run) {
        std::fputs(options.text.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    // The browser engine describes its set-up on every start; QT_LOGGING_RULES, read after
    // this rule, still turns that back on for whoever asks.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    // The browser pane shares its graphics context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    morvessa::traceFirstPaintsIfAsked();
    QApplication::setApplicationName(QStringLiteral("Morvessa"));
    QApplication::setWindowIcon(morvessa::pictures::appIcon());
    morvessa::installTraditionalChinese(app);

    // The collection is the folder of the program file as it was started, so a link to
    // the program placed in a collection folder opens that collection.
    const QString program = argc > 0 ? QFile::decodeName(argv[0]) : QString();
    morvessa::Collection collection;
    collection.folder =
        program.contains(QLatin1Char('/')) ? QFileInfo(program).absolutePath() : morvessa::applicationFolder();

    const std::shared_ptr<const morvessa::VariantTable> variants =
        options.variants ? morvessa::FrmZendrelMain::chooseVariantSearch(morvessa::variantTable()) : nullptr;

    morvessa::FrmIni::Show(collection, variants);
    return app.exec();
}
