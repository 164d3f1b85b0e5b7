// morvessa-add-collection and morvessa-sample, run as installed, in a temporary home.
#include "testdata.h"
#include "tools/collection/collection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

using namespace morvessa::collection;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

bool write(const QString &path, const QByteArray &bytes, QFile::Permissions permissions = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return permissions == QFile::Permissions() || file.setPermissions(permissions);
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString linkTarget(const QString &path)
{
    std::error_code error;
    return QString::fromStdString(std::filesystem::read_symlink(path.toStdString(), error).string());
}

// An installation laid out as the package lays it out, under a temporary root: the tools in
// lib/morvessa beside a stand-in program that notes the path it was started by, and the
// sample collection in share/morvessa/sample. HOME is a folder of its own.
class Installed : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        programs = root.path() + QStringLiteral("/usr/lib/morvessa");
        sample = root.path() + QStringLiteral("/usr/share/morvessa/sample");
        home = root.path() + QStringLiteral("/home/新使用者");
        started = root.path() + QStringLiteral("/started");
        ASSERT_TRUE(QDir().mkpath(programs) && QDir().mkpath(home));
        for (const char *tool : {MORVESSA_ADD_COLLECTION_PROGRAM, MORVESSA_SAMPLE_PROGRAM})
            ASSERT_TRUE(QFile::copy(QString::fromUtf8(tool),
                                    programs + QLatin1Char('/') + QFileInfo(QString::fromUtf8(tool)).fileName()));
        // The path it was started by, then its arguments after a blank each.
        const QByteArray stub = "#!/bin/sh\nprintf '%s' \"$0${*:+ $*}\" > '" + QFile::encodeName(started) + "'\n";
        ASSERT_TRUE(
            write(programs + QStringLiteral("/morvessa"), stub,
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        ASSERT_TRUE(write(sample + QStringLiteral("/jst.mdb"), "database"));
        ASSERT_TRUE(write(sample + QStringLiteral("/Help.htm"), "help page"));
        ASSERT_TRUE(write(sample + QStringLiteral("/demo.htm"), "tour page"));
        ASSERT_TRUE(write(sample + QStringLiteral("/fang/guizhi.htm"), "page"));
    }

    QProcess::ExitStatus run(const QString &tool, const QStringList &args, int &exitCode, QString *error = nullptr,
                             const QString &dataHome = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        if (!dataHome.isEmpty())
            env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        p.setProcessEnvironment(env);
        p.start(programs + QLatin1Char('/') + tool, args);
        EXPECT_TRUE(p.waitForFinished(30000));
        exitCode = p.exitCode();
        if (error)
            *error = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus();
    }

    int add(const QStringList &args, QString *error = nullptr)
    {
        int code = -1;
        run(QStringLiteral("morvessa-add-collection"), args, code, error);
        return code;
    }

    QString collection(const QString &name)
    {
        const QString folder = root.path() + QStringLiteral("/collections/") + name;
        QFile::remove(folder + QStringLiteral("/jst.mdb"));
        EXPECT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(QFile::copy(morvessa::test::dataFolder("collection") + QStringLiteral("/jst.mdb"),
                                folder + QStringLiteral("/jst.mdb")));
        return folder;
    }

    QStringList entries() const
    {
        return QDir(home + QStringLiteral("/.local/share/applications")).entryList(QDir::Files);
    }

    QString entryPath() const
    {
        const QStringList list = entries();
        return list.size() == 1 ? home + QStringLiteral("/.local/share/applications/") + list.first() : QString();
    }

    // The value of key in the entry's group, or in the group of the action named.
    QString entryValue(const QString &key, const QString &action = {}) const
    {
        const QByteArray group = action.isEmpty() ? "[Desktop Entry]" : "[Desktop Action " + action.toUtf8() + ']';
        bool inGroup = false;
        for (const QByteArray &line : read(entryPath()).split('\n')) {
            if (line.startsWith('['))
                inGroup = line == group;
            else if (inGroup && line.startsWith(key.toUtf8() + '='))
                return QString::fromUtf8(line.mid(key.size() + 1));
        }
        return {};
    }

    // What the entry's action starts: the entry, with the action's Exec for its own,
    // started as launchedBy starts it.
    QString actionLaunchedBy(const QString &action)
    {
        const QString copy = root.path() + QStringLiteral("/action.desktop");
        QByteArray text = read(entryPath());
        const QByteArray exec = "\nExec=" + entryValue(QStringLiteral("Exec")).toUtf8() + '\n';
        text.replace(text.indexOf(exec), exec.size(),
                     "\nExec=" + entryValue(QStringLiteral("Exec"), action).toUtf8() + '\n');
        return write(copy, text) ? launchedBy(copy) : QStringLiteral("<not written>");
    }

    // Starts the entry with GLib's own reading of desktop entries, where that tool is here.
    QString launchedBy(const QString &entry)
    {
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        if (gio.isEmpty())
            return QStringLiteral("<no gio>");
        QFile::remove(started);
        QProcess p;
        p.start(gio, {QStringLiteral("launch"), entry});
        p.waitForFinished(30000);
        // gio starts the program and returns; on a loaded machine the start can take seconds,
        // and the file can be there before the stand-in has written its line.
        QByteArray line;
        for (int i = 0; i < 600 && ((line = read(started)).isEmpty() || line == "<missing>"); ++i)
            QTest::qWait(50);
        return QString::fromUtf8(line);
    }

    QTemporaryDir root;
    QString programs, sample, home, started;
};

} // namespace

TEST(DesktopEntryTest, ExecArgumentsAreQuotedAsDesktopEntriesReadThem)
{
    const struct {
        const char *argument;
        const char *exec;
    } cases[] = {
        {"/c/plain/morvessa", "/c/plain/morvessa"},
        {"/c/傷寒論/morvessa", "/c/傷寒論/morvessa"},
        {"/c/my coll/morvessa", "\"/c/my coll/morvessa\""},
        {"/c/a\"b$c`d/morvessa", "\"/c/a\\\\\"b\\\\$c\\\\`d/morvessa\""},
        {"/c/back\\slash/morvessa", "\"/c/back\\\\\\\\slash/morvessa\""},
        {"/c/100%/morvessa", "/c/100%%/morvessa"},
        {"/c/it's (x)/morvessa", "\"/c/it's (x)/morvessa\""},
        {"/c/~home/morvessa", "\"/c/~home/morvessa\""},
        {"", "\"\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(execArgument(u(c.argument)), u(c.exec)) << c.argument;
    EXPECT_EQ(escapeValue(u(" a\\b\nc\td")), u("\\sa\\\\b\\nc\\td"));
}

TEST(DesktopEntryTest, FileNamesAreAsciiAndTellCollectionsApart)
{
    const QString plain = desktopFileName(QStringLiteral("/c/Shang Han Lun"));
    EXPECT_TRUE(plain.startsWith(QStringLiteral("morvessa-shang-han-lun-"))) << plain.toStdString();
    EXPECT_TRUE(plain.endsWith(QStringLiteral(".desktop")));
    const QString chinese = desktopFileName(u("/c/傷寒論"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^morvessa-[0-9a-f]{10}\\.desktop$")).match(chinese).hasMatch())
        << chinese.toStdString();
    EXPECT_NE(desktopFileName(u("/a/傷寒論")), chinese);
    EXPECT_EQ(desktopFileName(u("/c/傷寒論")), chinese);
}

TEST_F(Installed, AddStartAndRemoveCollectionsOfAnyName)
{
    for (const char *name : {"plain", "my coll", "傷寒論 第二版", "a\"b$c`d", "back\\slash", "100%", "it's (x)"}) {
        SCOPED_TRACE(name);
        const QString folder = collection(u(name));
        ASSERT_TRUE(write(folder + QStringLiteral("/notes.txt"), "mine"));
        QString error;
        ASSERT_EQ(add({folder}, &error), 0) << error.toStdString();

        const QString start = folder + QStringLiteral("/morvessa");
        EXPECT_EQ(linkTarget(start), programs + QStringLiteral("/morvessa"));
        EXPECT_EQ(read(folder + QStringLiteral("/Help.htm")), "help page");
        EXPECT_EQ(read(folder + QStringLiteral("/demo.htm")), "tour page");
        ASSERT_FALSE(entryPath().isEmpty()) << entries().join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(entryValue(QStringLiteral("Name")),
                  u(name).replace(QStringLiteral("\\"), QStringLiteral("\\\\")));
        EXPECT_EQ(entryValue(QStringLiteral("Exec")), execArgument(start));
        // GLib looks for the program before it reads "%%" as "%", so it does not start that one.
        if (!start.contains(QLatin1Char('%'))) {
            EXPECT_EQ(launchedBy(entryPath()).replace(QStringLiteral("<no gio>"), start), start);
            // The menu's 異體字檢索 starts the same link in variant search.
            EXPECT_EQ(entryValue(QStringLiteral("Actions")), QStringLiteral("variants;"));
            EXPECT_EQ(entryValue(QStringLiteral("Name"), QStringLiteral("variants")), u("異體字檢索"));
            const QString variants = start + QStringLiteral(" --variants");
            EXPECT_EQ(actionLaunchedBy(QStringLiteral("variants")).replace(QStringLiteral("<no gio>"), variants),
                      variants);
        }
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (!validator.isEmpty()) {
            QProcess v;
            v.start(validator, {entryPath()});
            v.waitForFinished();
            EXPECT_EQ(v.exitCode(), 0) << v.readAllStandardOutput().toStdString();
        }

        ASSERT_EQ(add({QStringLiteral("--remove"), folder}, &error), 0) << error.toStdString();
        EXPECT_TRUE(entries().isEmpty());
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                  QStringList({QStringLiteral("jst.mdb"), QStringLiteral("notes.txt")}));
    }
}

TEST_F(Installed, RemoveDeletesOnlyWhatItMadeAndWhatIsUnchanged)
{
    const QString folder = collection(QStringLiteral("kept"));
    ASSERT_TRUE(write(folder + QStringLiteral("/Help.htm"), "their own help"));
    ASSERT_EQ(add({folder}), 0);
    EXPECT_EQ(read(folder + QStringLiteral("/Help.htm")), "their own help");
    ASSERT_EQ(add({folder}), 0); // a second time changes nothing
    EXPECT_EQ(entries().size(), 1);

    ASSERT_TRUE(write(folder + QStringLiteral("/demo.htm"), "tour page, with their notes"));
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/morvessa")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/bin/true"), folder + QStringLiteral("/morvessa")));
    QString message;
    ASSERT_EQ(add({QStringLiteral("--remove"), folder}), 0);
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_EQ(read(folder + QStringLiteral("/Help.htm")), "their own help");
    EXPECT_EQ(read(folder + QStringLiteral("/demo.htm")), "tour page, with their notes");
    EXPECT_EQ(linkTarget(folder + QStringLiteral("/morvessa")), QStringLiteral("/bin/true"));

    // Their own program file in the folder is started as it is, and stays when removed.
    const QString own = collection(QStringLiteral("own program"));
    ASSERT_TRUE(QFile::copy(programs + QStringLiteral("/morvessa"), own + QStringLiteral("/morvessa")));
    ASSERT_EQ(add({own}), 0);
    ASSERT_EQ(add({QStringLiteral("--remove"), own}), 0);
    EXPECT_TRUE(QFileInfo(own + QStringLiteral("/morvessa")).isFile());
    EXPECT_FALSE(QFileInfo(own + QStringLiteral("/morvessa")).isSymLink());

    // Nothing added: nothing removed.
    const QString never = collection(QStringLiteral("never"));
    QString error;
    EXPECT_EQ(add({QStringLiteral("--remove"), never}, &error), 1);
    EXPECT_TRUE(error.contains(never)) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(never + QStringLiteral("/jst.mdb")));
}

TEST_F(Installed, RefusesWhatIsNoCollectionAndChangesNothing)
{
    const QString noDatabase = root.path() + QStringLiteral("/collections/empty");
    ASSERT_TRUE(QDir().mkpath(noDatabase));
    const QString emptyDatabase = collection(QStringLiteral("empty-database"));
    ASSERT_TRUE(write(emptyDatabase + QStringLiteral("/jst.mdb"), ""));
    const QString notAccess = collection(QStringLiteral("not-access"));
    ASSERT_TRUE(write(notAccess + QStringLiteral("/jst.mdb"), "<html>not a database</html>"));
    const QString blocked = collection(QStringLiteral("blocked"));
    ASSERT_TRUE(write(blocked + QStringLiteral("/morvessa"), "not a program"));
    const struct {
        QStringList args;
        const char *mentions;
    } cases[] = {
        {{root.path() + QStringLiteral("/collections/missing")}, "找不到資料夾"},
        {{noDatabase}, "jst.mdb"},
        {{emptyDatabase}, "Access"},
        {{notAccess}, "Access"},
        {{blocked}, "morvessa"},
        {{}, "--help"},
        {{noDatabase, blocked}, "--help"},
        {{QStringLiteral("--bogus"), blocked}, "bogus"},
    };
    for (const auto &c : cases) {
        QString error;
        EXPECT_EQ(add(c.args, &error), 2) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(error.contains(u(c.mentions))) << error.toStdString();
    }
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_EQ(QDir(noDatabase).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 0);
    EXPECT_EQ(QDir(blocked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("jst.mdb"), QStringLiteral("morvessa")}));
    EXPECT_EQ(read(blocked + QStringLiteral("/morvessa")), "not a program");
}

TEST_F(Installed, EntriesGoWhereXdgDataHomeSays)
{
    const QString dataHome = root.path() + QStringLiteral("/data home");
    const QString folder = collection(QStringLiteral("elsewhere"));
    int code = -1;
    run(QStringLiteral("morvessa-add-collection"), {folder}, code, nullptr, dataHome);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(QDir(dataHome + QStringLiteral("/applications")).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(entries().isEmpty());
}

// The menu entry's launcher: a folder of the user's own, linked to the sample, and the
// program started from it by the link's path.
TEST_F(Installed, SampleOpensThroughAFolderOfTheUsersOwn)
{
    const QString own = home + QStringLiteral("/.local/share/morvessa/sample");
    for (int time = 0; time < 2; ++time) {
        int code = -1;
        QString error;
        ASSERT_EQ(run(QStringLiteral("morvessa-sample"), {}, code, &error), QProcess::NormalExit);
        EXPECT_EQ(code, 0) << error.toStdString();
        EXPECT_EQ(QString::fromUtf8(read(started)), own + QStringLiteral("/morvessa"));
    }
    // The menu's action gives --variants, which goes on to the program as it was given.
    int passed = -1;
    ASSERT_EQ(run(QStringLiteral("morvessa-sample"), {QStringLiteral("--variants")}, passed),
              QProcess::NormalExit);
    EXPECT_EQ(passed, 0);
    EXPECT_EQ(QString::fromUtf8(read(started)), own + QStringLiteral("/morvessa --variants"));
    EXPECT_EQ(QDir(own).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase),
              QStringList({QStringLiteral("demo.htm"), QStringLiteral("fang"), QStringLiteral("Help.htm"),
                           QStringLiteral("jst.mdb"), QStringLiteral("morvessa")}));
    EXPECT_EQ(linkTarget(own + QStringLiteral("/jst.mdb")), sample + QStringLiteral("/jst.mdb"));
    EXPECT_EQ(linkTarget(own + QStringLiteral("/morvessa")), programs + QStringLiteral("/morvessa"));
    EXPECT_EQ(read(own + QStringLiteral("/fang/guizhi.htm")), "page");

    // Without a sample collection the launcher says so and starts nothing.
    QFile::remove(started);
    ASSERT_TRUE(QFile::remove(sample + QStringLiteral("/jst.mdb")));
    int code = -1;
    QString error;
    run(QStringLiteral("morvessa-sample"), {}, code, &error);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(error.contains(QStringLiteral("jst.mdb"))) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(started));
}
