#include "store/isolatedread.h"

#include "store/readmessages.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace morvessa {

namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

enum class Wait { Exited, Stalled };

// Reads progress bytes until the program closes its output; Stalled when it stays silent
// for the limit. A large file may take as long as it needs while progress comes.
Wait waitForReader(int fd, std::chrono::milliseconds stallLimit)
{
    pollfd pfd{fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&pfd, 1, int(stallLimit.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return Wait::Stalled;
        if (ready < 0)
            return Wait::Exited;
        char bytes[256];
        const ssize_t n = ::read(fd, bytes, sizeof bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Wait::Exited;
    }
}

// The environment without libmdb's own settings (debug output, text encoding).
std::vector<char *> readerEnvironment()
{
    std::vector<char *> env;
    for (char **e = environ; e && *e; ++e)
        if (std::strncmp(*e, "MDBOPTS=", 8) != 0 && std::strncmp(*e, "MDBICONV=", 9) != 0)
            env.push_back(*e);
    env.push_back(nullptr);
    return env;
}

} // namespace

QString defaultReaderProgram()
{
    const QString beside = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath() +
                           QStringLiteral("/morvessa-read");
#ifdef MORVESSA_BUILT_READER
    if (!QFileInfo(beside).isExecutable() && QFileInfo(QStringLiteral(MORVESSA_BUILT_READER)).isExecutable())
        return QStringLiteral(MORVESSA_BUILT_READER);
#endif
    return beside;
}

Result<void, ReaderFailure> runReaderProgram(int databaseFd, int columnFileFd, bool contentFolded,
                                             const QString &path, const ReadSettings &settings)
{
    const QString &program = settings.readerProgram;
    const std::chrono::milliseconds stallLimit = settings.stallLimit;
    const QByteArray programFile = QFile::encodeName(program);
    if (::access(programFile.constData(), X_OK) != 0)
        return ReaderFailure{{readerMissingMessage(path, program)}};
    const ReaderFailure failed{{readerFailedMessage(path, program)}};

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return failed;
    Fd progressRead(fds[0]);
    Fd progressWrite(fds[1]);
    // Copies above the numbers they go to, so that no dup2 overwrites another's source.
    Fd database(::fcntl(databaseFd, F_DUPFD_CLOEXEC, 10));
    Fd columns(::fcntl(columnFileFd, F_DUPFD_CLOEXEC, 10));
    Fd progress(::fcntl(progressWrite.fd, F_DUPFD_CLOEXEC, 10));
    if (database.fd < 0 || columns.fd < 0 || progress.fd < 0)
        return failed;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, database.fd, 3);
    posix_spawn_file_actions_adddup2(&actions, columns.fd, 4);
    posix_spawn_file_actions_adddup2(&actions, progress.fd, STDOUT_FILENO);
    // Warnings libmdb prints about odd pages are no concern of the user.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::string form = contentFolded ? "--folded" : "--as-written";
    std::string name = programFile.toStdString();
    char *argv[] = {name.data(), form.data(), nullptr};
    std::vector<char *> env = readerEnvironment();
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, programFile.constData(), &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(progressWrite.fd);
    progressWrite.fd = -1;
    ::close(progress.fd);
    progress.fd = -1;
    if (spawned != 0)
        return spawned == ENOENT ? ReaderFailure{{readerMissingMessage(path, program)}} : failed;

    const Wait wait = waitForReader(progressRead.fd, stallLimit);
    if (wait == Wait::Stalled)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (wait == Wait::Stalled)
        return ReaderFailure{{stalledMessage(path, int((stallLimit.count() + 999) / 1000))}};
    // A program ended by a signal was stopped from outside or crashed: that says nothing
    // sure about the file, so it is not called damaged.
    if (WIFSIGNALED(status))
        return ReaderFailure{{readerEndedMessage(path)}};
    if (WIFEXITED(status) && WEXITSTATUS(status) == kReaderCannotWrite) {
        ReaderFailure unwritable{{readerFailedMessage(path, program)}};
        unwritable.columnFileUnwritable = true;
        return unwritable;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return ReaderFailure{{readFailure(Damaged, path).message}};
    return {};
}

} // namespace morvessa
