// The database reader on damaged files: bytes -> jst.mdb -> table maindata. Every file gives
// a table whose columns add up, or a failure whose message names the file; nothing else.
//
// Under libFuzzer the table is read in this process, as the reading program reads it (the
// table reader into a column file, then the column file mapped): libFuzzer sees only the
// coverage of its own process. The plain driver reads through the reading program, as the
// program does, so that a damaged file that brings libmdb down ends only that program.
#include "fuzztarget.h"

#include "store/columnfile.h"
#include "store/isolatedread.h"
#include "store/keptcolumns.h"
#include "store/mdbreader.h"
#include "store/readmessages.h"
#include "store/storetable.h"
#include "store/tableread.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>

#include <sys/mman.h>
#include <unistd.h>

namespace {

std::unique_ptr<QTemporaryDir> g_dir;
QString g_path;
QString g_reports; // where the reading program's sanitizer reports go

// The reading program dies on some damaged files inside libmdb, which trusts the file:
// that is what it runs apart for. A sanitizer report from any other place in it is a fault
// of the program's own code, which the reader alone would only call damage.
void checkReaderReports()
{
    const QDir dir(g_reports);
    for (const QString &name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        const QByteArray report = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.remove();
        const qsizetype top = report.indexOf("    #0 ");
        const QByteArray frames = top < 0 ? QByteArray() : report.mid(top, report.indexOf("    #3 ", top) - top);
        if (frames.contains("libmdb.so"))
            continue;
        std::fprintf(stderr, "%s\n", report.constData());
        fuzz::fail("the reading program has a sanitizer report outside libmdb");
    }
}

void checkColumn(const morvessa::TextColumn &c, std::size_t rows)
{
    if (c.ends.size() != rows || c.isNull.size() != rows)
        fuzz::fail("a column's length differs from the row count");
    if (!std::is_sorted(c.ends.begin(), c.ends.end()) || (rows && c.ends.back() > c.bytes.size()))
        fuzz::fail("a column's value ends run backwards or past its bytes");
    for (std::size_t r = 0; r < rows; ++r) {
        const std::string_view v = c.at(r);
        if (QString::fromUtf8(v.data(), qsizetype(v.size())).toUtf8() != QByteArray(v.data(), qsizetype(v.size())))
            fuzz::fail("a value is not UTF-8");
    }
}

void checkTable(const morvessa::StoreTable &t)
{
    const std::size_t rows = t.rowCount();
    checkColumn(t.subject, rows);
    checkColumn(t.htm, rows);
    checkColumn(t.content, rows);
    if (t.date.size() != rows || t.dateNull.size() != rows)
        fuzz::fail("the date column's length differs from the row count");
    const auto newest = t.newestFirst();
    std::vector<std::uint32_t> order(newest.begin(), newest.end());
    std::sort(order.begin(), order.end());
    std::vector<std::uint32_t> all(rows);
    std::iota(all.begin(), all.end(), 0u);
    if (order != all)
        fuzz::fail("the newest-first order is not every row once");
}

#ifdef MORVESSA_FUZZ_IN_PROCESS
// A file in memory holding bytes; -1 when it cannot be made.
int memoryFile(const char *name, const std::uint8_t *data, std::size_t size)
{
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += std::size_t(n);
    }
    return fd;
}

// What the reading program does with the database, then what readMaindata does with the
// column file it wrote.
void readInProcess(const std::uint8_t *data, std::size_t size, bool folded)
{
    const int database = memoryFile("jst.mdb", data, size);
    const int columns = memoryFile("columns", nullptr, 0);
    if (database < 0 || columns < 0)
        fuzz::fail("cannot make the files in memory");
    morvessa::Result<void, morvessa::ReadFailure> outcome;
    {
        morvessa::ColumnFileWriter writer(columns, folded, size, g_path);
        outcome = morvessa::readTable(database, g_path, writer, folded);
        if (!writer.finish(outcome))
            fuzz::fail("cannot write the column file");
    }
    const auto table = morvessa::mapColumnFile(columns, folded, nullptr, true, g_path);
    ::close(database);
    ::close(columns);
    if (outcome) {
        if (!table)
            fuzz::fail("a table that was read cannot be mapped from its column file");
        if (!(*table)->settled())
            fuzz::fail("a column file just written fails its own sums");
        checkTable(**table);
    } else if (table || table.failure().status != outcome.failure().status ||
               table.failure().detail != outcome.failure().detail) {
        fuzz::fail("the column file does not report the failure of the reading");
    } else if (!table.message().contains(g_path) || table.message() != outcome.message()) {
        fuzz::fail("the message does not name the file");
    }
}
#endif

} // namespace

#ifndef MORVESSA_FUZZ_IN_PROCESS
namespace {

const morvessa::ReadSettings &readSettings()
{
    static const morvessa::ReadSettings settings = [] {
        morvessa::ReadSettings s;
        // Every input is read afresh: nothing is kept in the user's cache folder.
        s.keptFolder.clear();
        // A reader that makes no progress is stopped; a damaged file need not keep a run waiting.
        s.stallLimit = std::chrono::milliseconds(3000);
        return s;
    }();
    return settings;
}

} // namespace
#endif

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = std::make_unique<QTemporaryDir>();
    g_path = g_dir->filePath(QStringLiteral("jst.mdb"));
#if defined(MORVESSA_FUZZ_ASAN) && !defined(MORVESSA_FUZZ_IN_PROCESS)
    // The reading program inherits these; its standard error goes nowhere.
    g_reports = g_dir->filePath(QStringLiteral("reports"));
    QDir().mkpath(g_reports);
    const QByteArray log = ":log_path=" + QFile::encodeName(g_reports) + "/reader";
    qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + log);
    qputenv("UBSAN_OPTIONS", qgetenv("UBSAN_OPTIONS") + log);
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Both forms of the content column, chosen by the input so that a replay is the same.
    const bool folded = size % 2;
#ifdef MORVESSA_FUZZ_IN_PROCESS
    readInProcess(data, size, folded);
#else
    {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            fuzz::fail("cannot write the input file");
    }
    const auto form = folded ? morvessa::ContentForm::Folded : morvessa::ContentForm::AsWritten;
    const auto table = morvessa::readMaindata(g_path, form, readSettings());
    if (!table) {
        if (!table.message().contains(g_path))
            fuzz::fail("the message does not name the file");
    } else if (!*table) {
        fuzz::fail("no table and no error");
    } else {
        checkTable(**table);
    }
    if (!g_reports.isEmpty())
        checkReaderReports();
#endif
    return 0;
}
