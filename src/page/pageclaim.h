#pragma once
// Which temporary page a program writes, so that two programs on one collection never
// show each other's records.
#include <QString>

namespace morvessa {

// Holds one temporary page name of a collection for as long as it lives. The first
// program on a collection gets tmp/TmpKELMAR.htm; a program that finds that name held by
// another gets the first free of TmpKELMAR-2.htm, TmpKELMAR-3.htm, ... in the same
// folder. A name is held through a lock on the file beside it (the page name + ".lock"),
// which the system lets go when the program ends in any way, so the name of a program
// that died is free again. Each claim holds its own name, also within one process.
//
// Where no lock file can be made (a collection folder that cannot be written), the claim
// holds nothing and gives the first name.
class RecordPageClaim {
public:
    explicit RecordPageClaim(const QString &folder);
    ~RecordPageClaim(); // lets the name go and deletes the lock file; the page stays
    RecordPageClaim(const RecordPageClaim &) = delete;
    RecordPageClaim &operator=(const RecordPageClaim &) = delete;

    QString path() const { return m_path; }
    bool held() const { return m_lock >= 0; }

private:
    QString m_path;
    QString m_lockPath;
    int m_lock = -1; // the lock file's descriptor
};

} // namespace morvessa
