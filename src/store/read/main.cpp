// morvessa-read: the reading program of the isolated read (store/isolatedread.h).
//
//   morvessa-read --folded|--as-written
//
// Started by the program with the database open as descriptor 3 and an empty column file
// as descriptor 4; writes table maindata into the column file and a progress byte to its
// standard output now and then. Exit 0 when the column file is complete (it may report a
// database it could not read); exit 4 when the column file could not be written (a full
// disk, a file-size limit); anything else means the column file is not to be used.
#include "base/filesizelimit.h"
#include "store/columnfile.h"
#include "store/isolatedread.h"
#include "store/tableread.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kUsage[] =
    "usage: morvessa-read --folded|--as-written\n"
    "Reads table maindata of the Jet database open as descriptor 3 into the column file open\n"
    "as descriptor 4 (read and write), writing a progress byte to standard output now and then.\n"
    "It is started by morvessa and morvessa-query; it is not meant to be run by hand.\n";

// A progress byte at most every tenth of a second: the waiting program counts from it.
void reportProgress()
{
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    static std::chrono::steady_clock::time_point last;
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(100))
        return;
    last = now;
    static const char byte = 'P';
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 2 || (std::strcmp(argv[1], "--folded") != 0 && std::strcmp(argv[1], "--as-written") != 0)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    struct stat database {
    }, columns{};
    if (::fstat(3, &database) != 0 || ::fstat(4, &columns) != 0 || (::fcntl(4, F_GETFL) & O_ACCMODE) != O_RDWR) {
        std::fputs("morvessa-read: descriptor 3 must be the database and 4 the column file (read and write)\n",
                   stderr);
        return 2;
    }
    // Ends with the program that started it; a crash on a damaged file leaves no core dump.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::signal(SIGPIPE, SIG_IGN);
    morvessa::letWritesPastTheSizeLimitFail();

    const bool folded = std::strcmp(argv[1], "--folded") == 0;
    morvessa::ColumnFileWriter writer(4, folded, std::uint64_t(database.st_size),
                                      QFile::symLinkTarget(QStringLiteral("/proc/self/fd/4")));
    // Only the kind and the column reach the column file: the program that started this
    // one names the file in the message.
    const auto outcome = morvessa::readTable(3, QString(), writer, folded, reportProgress);
    // Completing the file (the date order, the checksum) is this program's own work on
    // what it wrote, seconds on the largest tables: progress meanwhile comes from a clock.
    std::atomic<bool> finished = false;
    std::thread heartbeat;
    try {
        heartbeat = std::thread([&finished] {
            while (!finished) {
                reportProgress();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    } catch (const std::system_error &) { // no thread to be had: completed without the clock
    }
    const auto written = writer.finish(outcome);
    finished = true;
    if (heartbeat.joinable())
        heartbeat.join();
    if (!written)
        return written.failure().error != 0 ? morvessa::kReaderCannotWrite : 3;
    return 0;
}
