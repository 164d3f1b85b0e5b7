#pragma once
// The column files kept in the user's cache folder, one per database file and content
// form, so that a program started again on an unchanged collection maps what was read
// instead of reading jst.mdb again. The collection folder is never written.
//
// A kept file is used only when its stamp names the same path and the database has the
// same identity (store/databaseidentity.h). Anything else, and any kept file that is
// damaged, cut short or of another version, is a miss: the database is read afresh. New files are written under a
// temporary name and renamed into place, so two programs reading the same new collection at once each get a whole
// file, and a crash leaves no half file behind. The most recently used are kept within a
// share of the disk, the oldest dropped first.
#include "store/columnfile.h"
#include "store/readsettings.h"

#include <QString>

#include <memory>
#include <optional>
#include <span>
#include <sys/stat.h>

namespace morvessa {

// The stamp a kept file of that database version carries.
ColumnFileStamp stampFor(const QString &databasePath, bool contentFolded, const DatabaseIdentity &identity);

// The table of that database version kept in settings' folder, or null (a miss).
std::shared_ptr<const StoreTable> openKept(const ColumnFileStamp &stamp, bool contentFolded,
                                           const ReadSettings &settings);

// A column file being written: in settings' kept folder under a temporary name, or (where
// the folder cannot be used) a file in memory that is never kept.
class NewColumnFile {
public:
    enum Where { InKeptFolder, InMemory };
    NewColumnFile(Where where, const ReadSettings &settings);
    ~NewColumnFile(); // removes the temporary file unless it was kept
    NewColumnFile(const NewColumnFile &) = delete;
    NewColumnFile &operator=(const NewColumnFile &) = delete;

    int fd() const { return m_fd; }
    // The file is in the kept folder (not in memory).
    bool inFolder() const { return !m_temporary.isEmpty(); }
    // Stamps the file and renames it into place for that stamp; then drops old entries.
    void keep(const ColumnFileStamp &stamp);

private:
    void keepAs(const QString &path);

    int m_fd = -1;
    QString m_folder;
    std::optional<std::uint64_t> m_byteLimit;
    QString m_temporary; // empty: in memory
};

} // namespace morvessa
