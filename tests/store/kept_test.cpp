// The column files kept in the cache folder: a kept file gives the rows a fresh read
// gives; any change of the database, and any damage to the kept file, is a miss (found
// when the file is mapped, or when its bytes are checked before anything found is used).
#include "store/isolatedread.h"
#include "store/keptcolumns.h"
#include "store/mdbreader.h"
#include "store/storetable.h"
#include "testdata.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <functional>
#include <optional>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

#include <gtest/gtest.h>

using namespace morvessa;

namespace {

std::string everything(const StoreTable &t)
{
    std::string out;
    for (std::size_t r = 0; r < t.rowCount(); ++r) {
        for (const TextColumn *c : {&t.subject, &t.htm, &t.content})
            out += (c->null(r) ? std::string("<null>") : std::string(c->at(r))) + '\x1f';
        out += t.dateNull[r] ? "<null>" : std::to_string(t.date[r]);
        out += '\n';
    }
    for (const std::uint32_t r : t.newestFirst())
        out += std::to_string(r) + ' ';
    return out;
}

// A kept-files folder of the test's own and a collection copy that has settled (a file
// changed within the last moment is read but not kept).
class KeptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_cache.isValid() && m_dir.isValid());
        m_settings.keptFolder = m_cache.path();
        m_folder = test::copyDatabase(m_dir, "collection", QStringLiteral("collection"));
        m_path = m_folder + QStringLiteral("/jst.mdb");
        settle();
        m_fresh = everything(*test::valueOf(readMaindataInProcess(m_path, ContentForm::Folded)));
        // A reading program that always fails: a read that succeeds under it was a hit.
        QFile f(m_dir.path() + QStringLiteral("/fails"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nexit 3\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    }
    static void settle() { QThread::msleep(150); }
    QString failingReader() const { return m_dir.path() + QStringLiteral("/fails"); }
    // Reads without the reading program: rows when the kept file was used, else nothing.
    std::optional<std::string> readKeptOnly(const QString &path) const
    {
        ReadSettings failing = m_settings;
        failing.readerProgram = failingReader();
        std::optional<std::string> out;
        // What a kept file holds is used once every byte of it has been checked.
        if (const TableResult table = readMaindata(path, ContentForm::Folded, failing);
            table && (*table)->settled())
            out = everything(**table);
        return out;
    }
    QStringList keptFiles() const
    {
        return QDir(m_cache.path()).entryList({QStringLiteral("*.columns")}, QDir::Files);
    }

    QTemporaryDir m_cache, m_dir;
    ReadSettings m_settings;
    QString m_folder, m_path;
    std::string m_fresh;
};

} // namespace

TEST_F(KeptTest, AKeptFileGivesTheRowsOfAFreshReadAndNothingLandsInTheCollection)
{
    EXPECT_FALSE(readKeptOnly(m_path)); // nothing kept yet
    EXPECT_EQ(everything(*test::valueOf(readMaindata(m_path, ContentForm::Folded, m_settings))), m_fresh);
    ASSERT_EQ(keptFiles().size(), 1);
    EXPECT_EQ(readKeptOnly(m_path), m_fresh);
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files), QStringList{QStringLiteral("jst.mdb")});
    // The other form of the content is kept apart.
    EXPECT_EQ(everything(*test::valueOf(readMaindata(m_path, ContentForm::AsWritten, m_settings))),
              everything(*test::valueOf(readMaindataInProcess(m_path, ContentForm::AsWritten))));
    EXPECT_EQ(keptFiles().size(), 2);
}

TEST_F(KeptTest, EachChangeOfTheDatabaseIsAMiss)
{
    const QByteArray original = [&] {
        QFile f(m_path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }();
    auto keep = [&] {
        settle();
        ASSERT_TRUE(readMaindata(m_path, ContentForm::Folded, m_settings));
        ASSERT_TRUE(readKeptOnly(m_path)) << "kept";
    };
    const struct {
        const char *what;
        std::function<QString()> change; // returns the path to read then
    } changes[] = {
        {"rewritten with other bytes of the same size",
         [&] {
             QByteArray bytes = original;
             bytes[bytes.size() - 5000] = char(bytes[bytes.size() - 5000] ^ 0x20);
             QFile f(m_path);
             EXPECT_TRUE(f.open(QIODevice::ReadWrite));
             f.write(bytes);
             return m_path;
         }},
        {"touched, its modification time put back to the nanosecond",
         [&] {
             struct stat st {};
             const QByteArray native = QFile::encodeName(m_path);
             EXPECT_EQ(::stat(native.constData(), &st), 0);
             const timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
             EXPECT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
             return m_path;
         }},
        {"replaced by another file",
         [&] {
             test::copyDatabase(m_dir, "empty", QStringLiteral("collection"));
             return m_path;
         }},
        {"moved",
         [&] {
             const QString moved = m_dir.path() + QStringLiteral("/moved");
             EXPECT_TRUE(QDir().rename(m_folder, moved));
             m_folder = moved;
             m_path = moved + QStringLiteral("/jst.mdb");
             return m_path;
         }},
    };
    for (const auto &c : changes) {
        test::copyDatabase(m_dir, "collection", QStringLiteral("collection"));
        m_folder = m_dir.path() + QStringLiteral("/collection");
        m_path = m_folder + QStringLiteral("/jst.mdb");
        keep();
        const QString path = c.change();
        settle();
        EXPECT_FALSE(readKeptOnly(path)) << c.what;
        QDir(m_dir.path() + QStringLiteral("/moved")).removeRecursively();
    }
}

TEST_F(KeptTest, ADamagedOrForeignKeptFileIsAMissNeverAnErrorOrOtherRows)
{
    ASSERT_TRUE(readMaindata(m_path, ContentForm::Folded, m_settings));
    ASSERT_EQ(keptFiles().size(), 1);
    const QString kept = m_cache.path() + QLatin1Char('/') + keptFiles().front();
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    std::mt19937 random(13);
    QByteArray noise(good.size(), '\0');
    for (auto &b : noise)
        b = char(random());
    auto changed = [&](qsizetype at, char value) {
        QByteArray bytes = good;
        bytes[at] = value;
        return bytes;
    };
    const struct {
        const char *what;
        QByteArray bytes;
    } damages[] = {
        {"cut short", good.left(good.size() / 2)},
        {"cut to its header", good.left(4096)},
        {"empty", QByteArray()},
        {"random bytes", noise},
        {"another version of the program", changed(8, char(good[8] + 1))},
        {"a byte of the content changed", changed(good.size() - 300000, char(good[good.size() - 300000] ^ 1))},
        {"a byte of the row ends changed", changed(4096 + 3, char(good[4096 + 3] ^ 0x40))},
    };
    for (const auto &d : damages) {
        QFile::remove(kept);
        QFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(d.bytes);
        f.close();
        EXPECT_FALSE(readKeptOnly(m_path)) << d.what;
        // With the reading program back, a fresh read: the right rows, and kept anew.
        EXPECT_EQ(everything(*test::valueOf(readMaindata(m_path, ContentForm::Folded, m_settings))), m_fresh)
            << d.what;
        EXPECT_EQ(readKeptOnly(m_path), m_fresh) << d.what;
    }
}

// A kept file that is written but does not read back whole (cut by another program, lost by
// the disk) is the cache's fault, not the database's: the table is read again into memory.
TEST_F(KeptTest, AKeptFileThatDoesNotReadBackIsReadAgainInMemory)
{
    const QString script = m_dir.path() + QStringLiteral("/spoils-kept-files");
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // The column file is descriptor 4: a file in the cache folder gets nothing, memory the
    // real reading.
    f.write("#!/bin/sh\ncase $(readlink /proc/$$/fd/4) in /memfd:*) exec '" +
            QFile::encodeName(m_settings.readerProgram) + "' \"$@\";; esac\nexit 0\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    m_settings.readerProgram = script;
    const Result<std::shared_ptr<const StoreTable>> read = readMaindata(m_path, ContentForm::Folded, m_settings);
    ASSERT_TRUE(read) << read.message().toStdString();
    EXPECT_EQ(everything(**read), m_fresh);
    EXPECT_FALSE(readKeptOnly(m_path)); // nothing spoiled is kept
}

// A kept file that cannot be written whole under a file-size limit is the cache's fault, not
// the database's, wherever the limit stops it: before the file has its size, before the
// rows are written, or part way through them. The table is read again into memory.
TEST_F(KeptTest, AKeptFileCutByASizeLimitIsReadAgainInMemory)
{
    const QString reader = m_settings.readerProgram;
    for (const char *limit : {"2048", "4096", "65536"}) {
        const QString script = m_dir.path() + QStringLiteral("/limited-") + QLatin1String(limit);
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // The column file is descriptor 4: a file in the cache folder meets the limit,
        // memory gets the real reading.
        f.write("#!/bin/sh\ncase $(readlink /proc/$$/fd/4) in /memfd:*) exec '" + QFile::encodeName(reader) +
                "' \"$@\";; esac\nexec prlimit --fsize=" + QByteArray(limit) + " '" + QFile::encodeName(reader) +
                "' \"$@\"\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        ReadSettings limited = m_settings;
        limited.readerProgram = script;
        const Result<std::shared_ptr<const StoreTable>> read = readMaindata(m_path, ContentForm::Folded, limited);
        ASSERT_TRUE(read) << limit << ": " << read.message().toStdString();
        EXPECT_EQ(everything(**read), m_fresh) << limit;
        EXPECT_FALSE(readKeptOnly(m_path)) << limit; // nothing cut short is kept
    }
}

TEST_F(KeptTest, TwoReadersOfOneNewCollectionAtOnceBothGetTheTable)
{
    std::string first, second;
    std::thread a(
        [&] { first = everything(*test::valueOf(readMaindata(m_path, ContentForm::Folded, m_settings))); });
    std::thread b(
        [&] { second = everything(*test::valueOf(readMaindata(m_path, ContentForm::Folded, m_settings))); });
    a.join();
    b.join();
    EXPECT_EQ(first, m_fresh);
    EXPECT_EQ(second, m_fresh);
    EXPECT_EQ(keptFiles().size(), 1);
    EXPECT_EQ(QDir(m_cache.path()).entryList(QDir::Files).size(), 1); // no temporary left over
    EXPECT_EQ(readKeptOnly(m_path), m_fresh);
}

std::uint64_t bytesOnDisk(const QString &folder)
{
    std::uint64_t total = 0;
    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        struct stat st {};
        if (::lstat(QFile::encodeName(f.absoluteFilePath()).constData(), &st) == 0)
            total += std::uint64_t(st.st_blocks) * 512;
    }
    return total;
}

TEST_F(KeptTest, TheFolderHoldsItsShareInBytesTheOldestDroppedFirst)
{
    const auto read = [&](int i) {
        const QString folder = m_dir.path() + QStringLiteral("/c%1").arg(i);
        if (!QFileInfo::exists(folder))
            test::copyDatabase(m_dir, "empty", QStringLiteral("c%1").arg(i));
        settle();
        return readMaindata(folder + QStringLiteral("/jst.mdb"), ContentForm::Folded, m_settings);
    };
    const auto keptOnly = [&](int i) {
        return readKeptOnly(m_dir.path() + QStringLiteral("/c%1/jst.mdb").arg(i));
    };
    ASSERT_TRUE(read(0));
    const std::uint64_t one = bytesOnDisk(m_cache.path());
    ASSERT_GT(one, 0u);
    m_settings.keptByteLimit = 3 * one + one / 2;
    for (int i = 1; i < 9; ++i)
        ASSERT_TRUE(read(i));
    m_settings.keptByteLimit = std::nullopt;
    EXPECT_LE(bytesOnDisk(m_cache.path()), 3 * one + one / 2);
    for (int i = 6; i < 9; ++i) // the latest three stay
        EXPECT_TRUE(keptOnly(i)) << i;
    EXPECT_FALSE(keptOnly(0));

    // The newest stays even when it alone is over the share: else it would be read each start.
    m_settings.keptByteLimit = 1;
    ASSERT_TRUE(read(0));
    m_settings.keptByteLimit = std::nullopt;
    EXPECT_EQ(keptFiles().size(), 1);
    EXPECT_TRUE(keptOnly(0));
}

TEST_F(KeptTest, TemporariesOfEndedProgramsGoAtTheNextStartThoseBeingWrittenStay)
{
    const QString dead = m_cache.path() + QStringLiteral("/reading-dead01");
    const QString held = m_cache.path() + QStringLiteral("/reading-held01");
    for (const QString &path : {dead, held}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    // A program still writing holds its temporary locked.
    const int heldFd = ::open(QFile::encodeName(held).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(heldFd, 0);
    ASSERT_EQ(::flock(heldFd, LOCK_EX), 0);

    EXPECT_EQ(everything(*test::valueOf(readMaindata(m_path, ContentForm::Folded, m_settings))), m_fresh);
    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_TRUE(QFileInfo::exists(held));
    {
        // A temporary this process is writing survives another collection being kept.
        NewColumnFile writing(NewColumnFile::InKeptFolder, m_settings);
        ASSERT_TRUE(writing.inFolder());
        const QString other = test::copyDatabase(m_dir, "empty", QStringLiteral("other"));
        settle();
        ASSERT_TRUE(readMaindata(other + QStringLiteral("/jst.mdb"), ContentForm::Folded, m_settings));
        EXPECT_EQ(QDir(m_cache.path()).entryList({QStringLiteral("reading-*")}, QDir::Files).size(), 2);
    }
    ::close(heldFd); // the program ends: its temporary goes when the next file is kept
    const QString last = test::copyDatabase(m_dir, "empty", QStringLiteral("last"));
    settle();
    ASSERT_TRUE(readMaindata(last + QStringLiteral("/jst.mdb"), ContentForm::Folded, m_settings));
    EXPECT_EQ(QDir(m_cache.path()).entryList({QStringLiteral("reading-*")}, QDir::Files), QStringList{});
}
