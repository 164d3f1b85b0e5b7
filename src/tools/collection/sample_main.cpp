// morvessa-sample: what the menu entry starts. The program reads the folder it was started
// from and writes its temporary page there, so the installed sample collection is opened
// through a folder of the user's own ($XDG_DATA_HOME/morvessa/sample), made on first start
// from links to the sample's files and to the program; then the program starts from there.
#include "base/filesizelimit.h"
#include "tools/collection/collection.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

int main(int argc, char *argv[])
{
    morvessa::letWritesPastTheSizeLimitFail();
    QString program;
    QString error;
    {
        QCoreApplication app(argc, argv);
        using namespace morvessa::collection;
        const Installation installation =
            findInstallation(QCoreApplication::applicationDirPath(), QStringLiteral(MORVESSA_SAMPLE_RELATIVE));
        program = prepareSampleFolder(installation, userSampleFolder(), error);
    }
    if (program.isEmpty()) {
        std::fprintf(stderr, "morvessa-sample: %s\n", error.toUtf8().constData());
        return 2;
    }
    // Started by the link's path, the program takes the link's folder for its own; the
    // options given here (--variants from the menu's action) are the program's.
    const QByteArray path = QFile::encodeName(program);
    std::vector<char *> args = {const_cast<char *>(path.constData())};
    args.insert(args.end(), argv + 1, argv + argc);
    args.push_back(nullptr);
    execv(path.constData(), args.data());
    std::fprintf(stderr, "morvessa-sample: 無法啟動「%s」：%s\n", path.constData(), std::strerror(errno));
    return 2;
}
