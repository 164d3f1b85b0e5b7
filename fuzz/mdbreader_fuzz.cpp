// The database reader on damaged files: bytes -> jst.mdb -> readMaindata. Every file gives
// a table whose columns add up, or a failure whose message names the file; nothing else.
#include "fuzztarget.h"

#include "store/isolatedread.h"
#include "store/keptcolumns.h"
#include "store/mdbreader.h"
#include "store/storetable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>

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

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = std::make_unique<QTemporaryDir>();
    g_path = g_dir->filePath(QStringLiteral("jst.mdb"));
#ifdef MORVESSA_FUZZ_ASAN
    // The reading program inherits these; its standard error goes nowhere.
    g_reports = g_dir->filePath(QStringLiteral("reports"));
    QDir().mkpath(g_reports);
    const QByteArray log = ":log_path=" + QFile::encodeName(g_reports) + "/reader";
    qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + log);
    qputenv("UBSAN_OPTIONS", qgetenv("UBSAN_OPTIONS") + log);
#endif
    // Every input is read afresh: nothing is kept in the user's cache folder.
    morvessa::setKeptColumnsFolder(QString());
    // A reader that makes no progress is stopped; a damaged file need not keep a run waiting.
    morvessa::setReaderStallLimit(std::chrono::milliseconds(3000));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            fuzz::fail("cannot write the input file");
    }
    // Both forms of the content column, chosen by the input so that a replay is the same.
    const auto form = size % 2 ? morvessa::ContentForm::Folded : morvessa::ContentForm::AsWritten;
    const auto table = morvessa::readMaindata(g_path, form);
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
    return 0;
}
