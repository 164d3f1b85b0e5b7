#include "base/spillbuffer.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvessa;

// Whatever its limit and wherever it may write, the buffer gives back every byte in order:
// held in memory, gone to a file, or kept in memory where no file can be made.
TEST(SpillBuffer, GivesBackEveryByteInOrder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string expected;
    for (int i = 0; i < 5000; ++i)
        expected += std::to_string(i) + (i % 7 ? "," : "\n");
    struct Case {
        QString folder;
        std::size_t limit;
    } cases[] = {{dir.path(), std::size_t(1) << 20},
                 {dir.path(), 1},
                 {dir.path(), 4096},
                 {dir.path() + QStringLiteral("/no such folder"), 100}};
    for (const Case &c : cases) {
        SpillBuffer buffer(c.folder, c.limit);
        for (std::size_t at = 0; at < expected.size(); at += 37)
            buffer.append(std::string_view(expected).substr(at, 37));
        EXPECT_EQ(buffer.size(), expected.size());
        const std::optional<std::string_view> bytes = buffer.finish();
        ASSERT_TRUE(bytes.has_value()) << c.limit;
        EXPECT_EQ(*bytes, expected) << c.limit;
        EXPECT_EQ(*buffer.finish(), expected);
    }
    // The file has no name: nothing is left in the folder.
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}
