#include "store/connstring.h"

#include "engine/recordstore.h"
#include "testdata.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvessa;
using morvessa::test::u;

TEST(ConnStringTest, BuiltFromTheFolderCharacterForCharacter)
{
    const struct {
        const char *folder;
        const char *expected;
    } cases[] = {
        {"/opt/morvessa",
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/morvessa/jst.mdb;Persist Security Info=False"},
        {"/home/a b/醫書 集",
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/home/a b/醫書 集/jst.mdb;Persist Security Info=False"},
        {"/data/x;y=z",
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/x;y=z/jst.mdb;Persist Security Info=False"},
        {"/data/'q'",
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/'q'/jst.mdb;Persist Security Info=False"},
    };
    for (const auto &c : cases) {
        const QString conn = buildConnString(u(c.folder));
        EXPECT_EQ(conn, u(c.expected)) << c.folder;
        EXPECT_EQ(dataSourceOf(conn), u(c.folder) + QStringLiteral("/jst.mdb")) << c.folder;
    }
}

TEST(ConnStringTest, OnlyTheFixedShapeNamesAFile)
{
    EXPECT_TRUE(dataSourceOf(QString()).isEmpty());
    EXPECT_TRUE(dataSourceOf(QStringLiteral("Data Source=/x/jst.mdb")).isEmpty());
    EXPECT_TRUE(dataSourceOf(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/jst.mdb")).isEmpty());
}

// The folder's odd characters reach the file system unchanged.
TEST(ConnStringTest, FoldersWithBlanksNonAsciiAndSemicolonsOpen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char *sub :
         {"with blank", "中文資料夾", "semi;colon", "Data Source=x;Persist Security Info=False"}) {
        const QString folder = test::copyDatabase(dir, "collection", u(sub));
        Connection c;
        const Result<void> opened = c.open(buildConnString(folder));
        ASSERT_TRUE(opened.ok()) << sub << ": " << opened.message().toStdString();
        Recordset r;
        ASSERT_TRUE(r.open(QStringLiteral("select subject,htm from  maindata order by date desc"), c)) << sub;
        EXPECT_EQ(r.rows()->count(), 17) << sub;
    }
}
