// A file written beside its name and moved over it: all or nothing, and never through a link.
#include "base/filereplace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using namespace morvessa;

namespace {

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

TEST(NewFileBeside, ReplacesInOneStepAndLeavesNothingBehind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.htm"));
    ASSERT_TRUE(write(path, "old"));
    for (const auto sync : {NewFileBeside::Sync::Yes, NewFileBeside::Sync::No}) {
        {
            NewFileBeside file(QFile::encodeName(path), 0644);
            ASSERT_EQ(file.error(), 0);
            EXPECT_EQ(file.write("new "), 0);
            EXPECT_EQ(file.write("bytes"), 0);
            EXPECT_EQ(read(path), "old"); // nothing shows before the commit
            EXPECT_EQ(file.commit(sync), 0);
        }
        EXPECT_EQ(read(path), "new bytes");
        ASSERT_TRUE(write(path, "old"));
    }
    { // dropped unless committed
        NewFileBeside file(QFile::encodeName(path), 0644);
        EXPECT_EQ(file.write("lost"), 0);
    }
    EXPECT_EQ(read(path), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("page.htm")});
}

// A link at the name is replaced by the new file; what it pointed at is untouched.
TEST(NewFileBeside, ALinkAtTheNameIsReplacedNotWrittenThrough)
{
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside.txt"));
    const QString path = dir.filePath(QStringLiteral("entry.desktop"));
    ASSERT_TRUE(write(outside, "keep me"));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(path).constData()), 0);
    NewFileBeside file(QFile::encodeName(path), 0644);
    ASSERT_EQ(file.write("entry"), 0);
    ASSERT_EQ(file.commit(NewFileBeside::Sync::Yes), 0);
    EXPECT_EQ(read(outside), "keep me");
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(read(path), "entry");
}

TEST(NewFileBeside, AFolderThatTakesNoFileIsAnError)
{
    NewFileBeside file("/nonexistent-folder/page.htm", 0644);
    EXPECT_EQ(file.error(), ENOENT);
    EXPECT_EQ(file.write("x"), ENOENT);
    EXPECT_EQ(file.commit(NewFileBeside::Sync::No), ENOENT);
    EXPECT_EQ(systemErrorText(ENOSPC), QStringLiteral("磁碟空間不足"));
}
