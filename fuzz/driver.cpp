// The main of a fuzz target where libFuzzer is not used (gcc, or a plain clang build).
//
//   fuzz_X [--runs N] [--seed S] [--max-len L] [--timeout SECONDS] PATH...
//
// Every file named (a folder: every file in it) is run once as it is. With --runs N,
// N more inputs follow, each a corpus file changed by a few random mutations drawn from
// the seed, so a run is the same on every machine. The input that makes the process die
// (a crash, a sanitizer report, a failed check, a time-out) is written to
// crash-<target>-<seed>-<n> in the current folder (MORVESSA_FUZZ_ARTIFACTS names another).
#include "fuzztarget.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;

namespace {

// What the handlers write out; set before each input runs.
const Bytes *g_current = nullptr;
std::string g_artifact;
pid_t g_mainPid = 0;
bool g_saved = false;

void saveCurrent()
{
    // Only this process: a child forked by a target has inputs of its own to die on.
    if (g_saved || !g_current || ::getpid() != g_mainPid)
        return;
    g_saved = true;
    const int fd = ::open(g_artifact.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    const std::uint8_t *p = g_current->data();
    std::size_t left = g_current->size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n <= 0)
            break;
        p += n;
        left -= std::size_t(n);
    }
    ::close(fd);
    const char note[] = "\nfuzz: the input is saved in ";
    [[maybe_unused]] ssize_t w = ::write(STDERR_FILENO, note, sizeof note - 1);
    w = ::write(STDERR_FILENO, g_artifact.c_str(), g_artifact.size());
    w = ::write(STDERR_FILENO, "\n", 1);
}

void onFatalSignal(int sig)
{
    if (sig == SIGALRM) {
        const char note[] = "\nfuzz: one input ran longer than the time-out\n";
        [[maybe_unused]] ssize_t w = ::write(STDERR_FILENO, note, sizeof note - 1);
    }
    saveCurrent();
    std::signal(sig, SIG_DFL);
    std::raise(sig == SIGALRM ? SIGABRT : sig);
}

void installHandlers()
{
#ifdef MORVESSA_FUZZ_ASAN
    __sanitizer_set_death_callback(saveCurrent);
#endif
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGALRM})
        std::signal(sig, onFatalSignal);
}

Bytes readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path &path)
{
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
        for (const auto &entry : std::filesystem::directory_iterator(path))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    return files;
}

// A few changes of the kinds that find faults in readers: single bytes and bits, values
// at the edges of their range, runs copied from elsewhere in the input or from another
// input, bytes inserted and removed.
void mutate(Bytes &data, const std::vector<Bytes> &corpus, std::mt19937_64 &rng, std::size_t maxLen)
{
    auto pick = [&rng](std::size_t n) { return n ? std::size_t(rng() % n) : 0; };
    const int count = 1 + int(pick(8));
    for (int i = 0; i < count; ++i) {
        switch (pick(data.empty() ? 2 : 8)) {
        case 0: { // insert a few random bytes
            const std::size_t at = pick(data.size() + 1);
            const std::size_t n = 1 + pick(8);
            for (std::size_t k = 0; k < n; ++k)
                data.insert(data.begin() + std::ptrdiff_t(at), std::uint8_t(rng()));
            break;
        }
        case 1: { // splice in a run of another input
            const Bytes &other = corpus[pick(corpus.size())];
            if (other.empty())
                break;
            const std::size_t from = pick(other.size());
            const std::size_t n = 1 + pick(std::min<std::size_t>(64, other.size() - from));
            const std::size_t at = pick(data.size() + 1);
            data.insert(data.begin() + std::ptrdiff_t(at), other.begin() + std::ptrdiff_t(from),
                        other.begin() + std::ptrdiff_t(from + n));
            break;
        }
        case 2: // one bit
            data[pick(data.size())] ^= std::uint8_t(1u << pick(8));
            break;
        case 3: // one byte
            data[pick(data.size())] = std::uint8_t(rng());
            break;
        case 4: { // a value at an edge: 0, 1, 0x7F, 0x80, 0xFF, in one to four bytes
            static const std::uint8_t edges[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
            const std::uint8_t v = edges[pick(sizeof edges)];
            const std::size_t at = pick(data.size());
            const std::size_t n = std::min<std::size_t>(1 + pick(4), data.size() - at);
            std::fill_n(data.begin() + std::ptrdiff_t(at), n, v);
            break;
        }
        case 5: { // remove a run
            const std::size_t at = pick(data.size());
            const std::size_t n = 1 + pick(std::min<std::size_t>(16, data.size() - at));
            data.erase(data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + n));
            break;
        }
        case 6: { // copy a run over another place of the same input
            const std::size_t from = pick(data.size());
            const std::size_t n = 1 + pick(std::min<std::size_t>(32, data.size() - from));
            const std::size_t to = pick(data.size() - n + 1);
            std::copy_n(
                Bytes(data.begin() + std::ptrdiff_t(from), data.begin() + std::ptrdiff_t(from + n)).begin(), n,
                data.begin() + std::ptrdiff_t(to));
            break;
        }
        case 7: { // a small number added to a byte, as lengths and counts change
            std::uint8_t &b = data[pick(data.size())];
            b = std::uint8_t(b + std::uint8_t(int(pick(33)) - 16));
            break;
        }
        }
    }
    if (data.size() > maxLen)
        data.resize(maxLen);
}

[[noreturn]] void usage(const char *program)
{
    std::fprintf(stderr, "usage: %s [--runs N] [--seed S] [--max-len L] [--timeout SECONDS] PATH...\n", program);
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    long long runs = 0;
    unsigned long long seed = 1;
    std::size_t maxLen = 1 << 20;
    unsigned timeout = 25;
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc)
                usage(argv[0]);
            return argv[++i];
        };
        if (arg == "--runs")
            runs = std::atoll(value());
        else if (arg == "--seed")
            seed = std::strtoull(value(), nullptr, 10);
        else if (arg == "--max-len")
            maxLen = std::size_t(std::atoll(value()));
        else if (arg == "--timeout")
            timeout = unsigned(std::atoi(value()));
        else if (arg.starts_with("--"))
            usage(argv[0]);
        else
            for (const auto &file : filesIn(arg))
                paths.push_back(file);
    }

    g_mainPid = ::getpid();
    installHandlers();
    const char *folder = std::getenv("MORVESSA_FUZZ_ARTIFACTS");
    const std::string prefix = std::string(folder && *folder ? folder : ".") + "/crash-" +
                               std::filesystem::path(argv[0]).filename().string() + "-" + std::to_string(seed) +
                               "-";

    auto runOne = [&](const Bytes &data, const std::string &name) {
        g_current = &data;
        g_artifact = prefix + name;
        ::alarm(timeout);
        LLVMFuzzerTestOneInput(data.data(), data.size());
        ::alarm(0);
        g_current = nullptr;
    };

    const auto start = std::chrono::steady_clock::now();
    std::vector<Bytes> corpus;
    for (const auto &path : paths) {
        corpus.push_back(readFile(path));
        runOne(corpus.back(), path.filename().string());
    }
    if (corpus.empty())
        corpus.emplace_back();
    std::mt19937_64 rng(seed);
    for (long long n = 0; n < runs; ++n) {
        Bytes data = corpus[std::size_t(rng() % corpus.size())];
        mutate(data, corpus, rng, maxLen);
        runOne(data, std::to_string(n));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %zu files and %lld mutated inputs (seed %llu) in %.1f s, no fault\n",
                std::filesystem::path(argv[0]).filename().c_str(), paths.size(), runs, seed, seconds);
    return 0;
}
