// Linked into a test program whose reads keep column files: they go to a temporary folder
// of the program's own, removed when it ends, never to the user's cache folder.
#include <QFile>
#include <QTemporaryDir>

namespace {

struct TemporaryCache {
    QTemporaryDir dir;
    TemporaryCache()
    {
        if (dir.isValid())
            qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path()));
    }
};

const TemporaryCache g_cache;

} // namespace
