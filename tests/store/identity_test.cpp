// One identity of a database file for the kept column files and the tables a process holds.
#include "store/databaseidentity.h"
#include "testdata.h"

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace morvessa;

TEST(DatabaseIdentity, TheSameFileUnderAnyNameAndNothingElse)
{
    QTemporaryDir dir;
    const QString folder = test::copyDatabase(dir, "collection");
    const QString path = folder + QStringLiteral("/jst.mdb");
    const DatabaseIdentity id = test::valueOf(identityOfFile(path));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(id.device, std::uint64_t(st.st_dev));
    EXPECT_EQ(id.inode, std::uint64_t(st.st_ino));
    EXPECT_EQ(id.size, std::uint64_t(st.st_size));
    EXPECT_EQ(test::valueOf(identityOfFile(path)), id);

    const QString linked = dir.path() + QStringLiteral("/linked.mdb");
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(linked).constData()), 0);
    EXPECT_EQ(test::valueOf(identityOfFile(linked)),
              test::valueOf(identityOfFile(path))); // a new link changes the times
    EXPECT_NE(test::valueOf(identityOfFile(path)), id);
    const QString copied = dir.path() + QStringLiteral("/copied.mdb");
    ASSERT_TRUE(QFile::copy(path, copied));
    EXPECT_NE(test::valueOf(identityOfFile(copied)), id);

    // Nothing to open, or nothing that is a file: no identity but a message naming the
    // file, and no wait on a pipe.
    const QString pipe = dir.path() + QStringLiteral("/pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString &none : {pipe, folder, dir.path() + QStringLiteral("/missing.mdb")}) {
        const Result<DatabaseIdentity> missing = identityOfFile(none);
        EXPECT_FALSE(missing) << none.toStdString();
        EXPECT_TRUE(missing.message().contains(none)) << missing.message().toStdString();
    }
}

// Where the file system's times are too coarse to show a change (a rewrite within the same
// second on some disks), the sampled bytes still do.
TEST(DatabaseIdentity, BytesChangedInPlaceDifferUnderTheSameStatus)
{
    QTemporaryDir dir;
    const QString path = test::copyDatabase(dir, "collection") + QStringLiteral("/jst.mdb");
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    const DatabaseIdentity before = identityOf(fd, st);
    for (const off_t at : {off_t(0), off_t(st.st_size - 1)}) {
        char byte = 0;
        ASSERT_EQ(::pread(fd, &byte, 1, at), 1);
        byte = char(byte ^ 0x20);
        ASSERT_EQ(::pwrite(fd, &byte, 1, at), 1);
        EXPECT_NE(identityOf(fd, st), before) << "changed at " << at;
        byte = char(byte ^ 0x20);
        ASSERT_EQ(::pwrite(fd, &byte, 1, at), 1);
        EXPECT_EQ(identityOf(fd, st), before);
    }
    ::close(fd);
}
