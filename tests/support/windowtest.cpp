#include "windowtest.h"
#include "files.h"

#include "ui/frmini.h"
#include "ui/frmzendrelmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

namespace morvessa::test {

TestFolder::TestFolder(const QString &source)
{
    if (!source.isEmpty())
        copyTree(source, m_dir.path());
}

TestFolder::~TestFolder()
{
    closeAllWindows();
}

morvessa::Collection TestFolder::collection() const
{
    morvessa::Collection collection;
    collection.folder = path();
    return collection;
}

void TestFolder::writeFile(const QString &name, const QByteArray &bytes) const
{
    const QString path = m_dir.path() + QLatin1Char('/') + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

Recorder::Recorder()
{
    morvessa::setMessageHandler([this](const QString &text, morvessa::MessageKind kind) {
        messages.push_back({text, kind, QGuiApplication::overrideCursor() != nullptr});
    });
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

} // namespace morvessa::test
