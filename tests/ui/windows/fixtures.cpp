#include "fixtures.h"

#include "store/appfolder.h"
#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"
#include "text/big5.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {
void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else
            QFile::copy(source, target);
    }
}
} // namespace

TestFolder::TestFolder(const QString &source)
{
    if (!source.isEmpty())
        copyTree(source, m_dir.path());
    morvessa::setApplicationFolder(m_dir.path());
}

TestFolder::~TestFolder()
{
    closeAllWindows();
    morvessa::setApplicationFolder(QString());
}

void TestFolder::writeFile(const QString &name, const QByteArray &bytes) const
{
    const QString path = m_dir.path() + QLatin1Char('/') + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QString sampleCollection()
{
    return QStringLiteral(MORVESSA_SAMPLE);
}

QString testData(const QString &name)
{
    return QStringLiteral(MORVESSA_TEST_DATA) + QLatin1Char('/') + name;
}

Recorder::Recorder()
{
    morvessa::setMessageHandler(
        [this](const QString &text, morvessa::MessageKind kind) { messages.push_back({text, kind}); });
    morvessa::setBrowserOpener([this](const QUrl &url) { openedPages.push_back(url); });
}

Recorder::~Recorder()
{
    morvessa::setMessageHandler({});
    morvessa::setBrowserOpener({});
}

void closeAllWindows()
{
    if (auto *main = morvessa::FrmZendrelMain::loaded())
        main->close();
    morvessa::FrmIni::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QString GeneratedRows::text(int row, int col) const
{
    ++cellsRead;
    return col == 0 ? QStringLiteral("第%1篇").arg(row + 1) : QStringLiteral("p\\%1.htm").arg(row + 1);
}

QByteArray big5(const QString &text)
{
    return morvessa::big5Encode(text);
}

QString paneText(morvessa::FrmZendrelMain *main)
{
    QString text;
    bool done = false;
    main->LblDesc->page()->toPlainText([&](const QString &plain) {
        text = plain;
        done = true;
    });
    // A pane that never answers leaves the text empty, which the caller's comparison reports.
    if (!QTest::qWaitFor([&done] { return done; }, 5000))
        return QString();
    return text;
}
