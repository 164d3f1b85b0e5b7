#include "store/mdbreader.h"

#include "store/columnfile.h"
#include "store/isolatedread.h"
#include "store/keptcolumns.h"
#include "store/opendatabase.h"
#include "store/readmessages.h"
#include "store/tableread.h"

#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace morvessa {

namespace {

// A file changed within the file system's clock step of its last change could change
// again without its times showing it: such a read is used but not kept.
bool settled(const struct stat &st)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto ns = [](const timespec &t) { return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
    const std::int64_t margin = 100 * 1000000;
    return ns(st.st_mtim) < ns(now) - margin && ns(st.st_ctim) < ns(now) - margin;
}

// Builds the table in this process's memory.
class BuilderSink : public RowSink {
public:
    explicit BuilderSink(StoreTableBuilder &out) : m_out(out) {}
    bool begin(std::uint64_t claimedRows) override
    {
        for (TextColumnBuilder *t : {&m_out.subject, &m_out.htm, &m_out.content}) {
            t->ends.reserve(claimedRows);
            t->isNull.reserve(claimedRows);
        }
        m_out.date.reserve(claimedRows);
        m_out.dateNull.reserve(claimedRows);
        return true;
    }
    bool add(const RowValues &row) override
    {
        m_out.subject.append(row.subject, row.subjectNull);
        m_out.htm.append(row.htm, row.htmNull);
        m_out.content.append(row.content, row.contentNull);
        m_out.written.append(row.written, false);
        m_out.addDate(row.date, row.dateNull);
        return true;
    }

private:
    StoreTableBuilder &m_out;
};

} // namespace

TableResult readMaindataInProcess(const QString &path, ContentForm form)
{
    OpenDatabase db;
    if (const Result<void> opened = openDatabase(path, db); !opened)
        return opened.failure();
    StoreTableBuilder table;
    table.contentFolded = form == ContentForm::Folded;
    BuilderSink sink(table);
    if (const Result<void, ReadFailure> read = readTable(db.fd, path, sink, table.contentFolded); !read)
        return Failure{read.failure()};
    return std::move(table).finish();
}

TableResult readMaindata(const QString &path, ContentForm form, const ReadSettings &settings)
{
    OpenDatabase db;
    if (const Result<void> opened = openDatabase(path, db); !opened)
        return opened.failure();
    const bool folded = form == ContentForm::Folded;
    const DatabaseIdentity identity = identityOf(db.fd, db.status);
    const ColumnFileStamp stamp = stampFor(path, folded, identity);
    if (auto kept = openKept(stamp, folded, settings))
        return kept;

    // The kept folder is only a speed-up: where its file cannot be written (a full disk, a
    // size limit) or the file just written does not map back (cut by another program, lost
    // by the disk), the table is read again into memory and answers just the same.
    std::unique_ptr<NewColumnFile> columns;
    std::shared_ptr<const StoreTable> table;
    for (const auto where : {NewColumnFile::InKeptFolder, NewColumnFile::InMemory}) {
        columns = std::make_unique<NewColumnFile>(where, settings);
        if (where == NewColumnFile::InKeptFolder && !columns->inFolder())
            continue;
        if (columns->fd() < 0)
            return Failure{openFailureMessage(path, errno)};
        const Result<void, ReaderFailure> read = runReaderProgram(db.fd, columns->fd(), folded, path, settings);
        const bool last = where == NewColumnFile::InMemory;
        if (!read && (last || !read.failure().columnFileUnwritable))
            return Failure{read.failure().message.isEmpty() ? openFailureMessage(path, errno)
                                                            : read.failure().message};
        if (!read)
            continue;
        Result<std::shared_ptr<const StoreTable>, ReadFailure> mapped =
            mapColumnFile(columns->fd(), folded, nullptr, false, path);
        if (mapped) {
            table = std::move(*mapped);
            break;
        }
        if (last)
            return Failure{mapped.failure()};
    }
    struct stat after {};
    if (::fstat(db.fd, &after) == 0 && settled(after) && identityOf(db.fd, after) == identity)
        columns->keep(stamp);
    return table;
}

} // namespace morvessa
