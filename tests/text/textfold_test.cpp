#include "text/textfold.h"

#include <gtest/gtest.h>

using namespace morvessa;

TEST(TextFold, FoldsCaseAndWidthOnly)
{
    EXPECT_EQ(foldText(QStringLiteral("ＦｅＶｅｒ １２３ ＡＢＣ Σ 發熱 ｶ 　")),
              QStringLiteral("fever 123 abc σ 發熱 ｶ 　"));
    EXPECT_EQ(foldUtf8("ＦｅＶｅｒ 發熱 \xff end"), std::string("fever 發熱 \xff end"));
    EXPECT_EQ(foldChar(U'\U00010400'), U'\U00010428'); // outside the BMP too
}

TEST(TextFold, FinderComparesBytesOnlyWhenThatIsExact)
{
    const FoldedFinder cjk("發熱");
    EXPECT_TRUE(cjk.bytewise());
    EXPECT_TRUE(cjk.foundIn("病人發熱"));
    EXPECT_FALSE(cjk.foundIn("病人發"));

    const FoldedFinder latin("Fever1");
    EXPECT_FALSE(latin.bytewise());
    EXPECT_TRUE(latin.foundIn("high ＦＥＶＥＲ１ today"));
    EXPECT_FALSE(latin.foundIn("high fever2"));
}
