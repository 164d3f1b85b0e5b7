#include "base/filesizelimit.h"
#include "store/appfolder.h"
#include "ui/frmini.h"
#include "ui/pictures.h"
#include "ui/qttranslations.h"

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>

int main(int argc, char *argv[])
{
    morvessa::letWritesPastTheSizeLimitFail();
    // The browser engine describes its set-up on every start; QT_LOGGING_RULES, read after
    // this rule, still turns that back on for whoever asks.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    // The browser pane shares its graphics context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvessa"));
    QApplication::setWindowIcon(morvessa::pictures::appIcon());
    morvessa::installTraditionalChinese(app);

    // The application folder is the folder of the program file as it was started, so a
    // link to the program placed in a collection folder opens that collection.
    const QString program = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    if (program.contains(QLatin1Char('/')))
        morvessa::setApplicationFolder(QFileInfo(program).absolutePath());

    morvessa::FrmIni::Show();
    return app.exec();
}
