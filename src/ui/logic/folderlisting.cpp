#include "ui/logic/folderlisting.h"

#include "ui/logic/filenames.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvessa {

namespace {

enum class Kind { File, Folder };

QList<ListedName> listed(const QByteArray &folder, Kind kind)
{
    QList<ListedName> names;
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.constData()), ::closedir);
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.'))
            continue; // hidden, and "." and ".."
        if (kind == Kind::File && !isConditionFileName(name))
            continue;
        struct stat st {};
        if (::stat(childPath(folder, name).constData(), &st) != 0)
            continue;
        if (kind == Kind::File ? !S_ISREG(st.st_mode) : !S_ISDIR(st.st_mode))
            continue;
        names.append(ListedName{name, shownName(name)});
    }
    std::sort(names.begin(), names.end(), [](const ListedName &a, const ListedName &b) {
        const int byShown = a.shown.compare(b.shown, Qt::CaseInsensitive);
        if (byShown != 0)
            return byShown < 0;
        return a.name < b.name;
    });
    return names;
}

} // namespace

bool isConditionFileName(const QByteArray &name)
{
    if (name.size() < 4)
        return false;
    const QByteArray suffix = name.right(4).toLower();
    return suffix == ".txt" || suffix == ".set";
}

QList<ListedName> conditionFiles(const QByteArray &folder)
{
    return listed(folder, Kind::File);
}

QList<ListedName> subfolders(const QByteArray &folder)
{
    return listed(folder, Kind::Folder);
}

bool canOpenFolder(const QByteArray &folder)
{
    return isFolder(folder) && ::access(folder.constData(), R_OK | X_OK) == 0;
}

bool isFolder(const QByteArray &path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray currentFolder()
{
    std::unique_ptr<char, void (*)(void *)> cwd(::getcwd(nullptr, 0), std::free);
    return cwd ? QByteArray(cwd.get()) : QByteArray();
}

bool setCurrentFolder(const QByteArray &folder)
{
    return ::chdir(folder.constData()) == 0;
}

} // namespace morvessa
