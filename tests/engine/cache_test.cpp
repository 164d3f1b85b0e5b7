#include "engine/recordstore.h"
#include "store/storetable.h"
#include "testdata.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvessa;

namespace {

const QString kListAll = QStringLiteral("select subject,htm from  maindata order by date desc");

Result<std::shared_ptr<const ResultRows>> listAll(const QString &folder, const Collection &collection)
{
    Connection c(collection);
    if (const Result<void> opened = c.open(buildConnString(folder)); !opened)
        return opened.failure();
    Recordset r;
    if (const Result<void> opened = r.open(kListAll, c); !opened)
        return opened.failure();
    return r.rows();
}

std::shared_ptr<const StoreTable> tableOf(const QString &folder, const Collection &collection)
{
    Connection c(collection);
    const Result<void> opened = c.open(buildConnString(folder));
    EXPECT_TRUE(opened.ok()) << opened.message().toStdString();
    return c.table();
}

} // namespace

TEST(CacheTest, UnchangedFileIsReadOnce)
{
    QTemporaryDir dir;
    const QString folder = test::copyDatabase(dir, "collection");
    const Collection collection;
    const auto first = tableOf(folder, collection);
    EXPECT_EQ(tableOf(folder, collection), first);
    EXPECT_EQ(tableOf(folder, Collection(collection)), first); // a copy shares its tables
    // The tables are the collection's: another one reads the file for itself.
    EXPECT_NE(tableOf(folder, Collection()), first);
}

TEST(CacheTest, ReplacedOrTouchedFileIsReadAnew)
{
    QTemporaryDir dir;
    const QString folder = test::copyDatabase(dir, "collection");
    const QString path = folder + QStringLiteral("/jst.mdb");
    const Collection collection;
    const auto before = test::valueOf(listAll(folder, collection));
    const auto firstTable = tableOf(folder, collection);
    ASSERT_EQ(before->count(), 17);

    // Replaced by another file: the next search sees the new one.
    test::copyDatabase(dir, "empty");
    EXPECT_EQ(test::valueOf(listAll(folder, collection))->count(), 0);
    EXPECT_EQ(before->count(), 17); // the earlier result is untouched
    EXPECT_EQ(before->text(16, 0), QString::fromUtf8("無日期"));

    // Same bytes, same inode, new modification time: read again.
    test::copyDatabase(dir, "collection");
    const auto second = tableOf(folder, collection);
    EXPECT_NE(second, firstTable);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    f.close();
    EXPECT_NE(tableOf(folder, collection), second);

    // Gone, then back.
    QFile::remove(path);
    const auto gone = listAll(folder, collection);
    ASSERT_FALSE(gone.ok());
    EXPECT_TRUE(gone.message().contains(path)) << gone.message().toStdString();
    test::copyDatabase(dir, "collection");
    EXPECT_EQ(test::valueOf(listAll(folder, collection))->count(), 17);
}
