// Saves a condition file from a process of its own, so that limits put on it and the
// user it runs as do not touch the test program:
//   conditionsave [--fsize BYTES] [--user UID:GID] PATH TEXTFILE
// TEXTFILE holds the text in UTF-8. Prints the message of a failed save in UTF-8;
// exits 0 when saved, 1 when the save failed, 2 on a usage error.
#include "ui/logic/conditionfile.h"

#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace morvessa;

int main(int argc, char **argv)
{
    int i = 1;
    for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (std::strcmp(argv[i], "--fsize") == 0) {
            // SIGXFSZ is left as it is: the save itself must keep it from ending the process.
            const rlimit limit{rlim_t(std::strtoull(argv[i + 1], nullptr, 10)), RLIM_INFINITY};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 2;
        } else if (std::strcmp(argv[i], "--user") == 0) {
            unsigned uid = 0, gid = 0;
            if (std::sscanf(argv[i + 1], "%u:%u", &uid, &gid) != 2 || setgroups(0, nullptr) != 0 ||
                setgid(gid) != 0 || setuid(uid) != 0)
                return 2;
        } else {
            return 2;
        }
    }
    if (argc - i != 2)
        return 2;
    QFile textFile(QFile::decodeName(argv[i + 1]));
    if (!textFile.open(QIODevice::ReadOnly))
        return 2;
    const QString text = QString::fromUtf8(textFile.readAll());
    const morvessa::Result<void> r = saveConditionFile(QByteArray(argv[i]), text);
    if (!r)
        std::fputs(r.message().toUtf8().constData(), stdout);
    return r ? 0 : 1;
}
