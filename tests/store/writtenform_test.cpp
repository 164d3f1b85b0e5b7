#include "base/vectorwidth.h"
#include "store/mdbreader.h"
#include "store/writtenform.h"
#include "testdata.h"
#include "text/textfold.h"

#include <gtest/gtest.h>

using namespace morvessa;
using morvessa::test::u;

namespace {

std::string differences(std::string_view folded, std::string_view written)
{
    std::string out;
    appendDifferences(out, folded, written);
    return out;
}

} // namespace

TEST(WrittenForm, FoldedTextWithItsDifferencesGivesTheTextAsWritten)
{
    const std::string cases[] = {
        "",
        "太陽中風，發熱，汗出",                // full-width punctuation
        "ＶｉｔａｍｉｎＣ １２３ FEVER fever", // full-width capitals, digits, capitals
        "ΣΑΣ Ωmega ÀÉ Ǆ",                      // case folds outside ASCII
        "a\xC3\x80\x80Z\xFF\xE6\xB1",          // stray bytes and a character cut short beside a fold
        std::string(300, 'A') + "，" + std::string(20000, 'x') + "Ｑ", // gaps of every varint length
        "𠀀𪚥 Ａ",                                                     // characters outside the BMP
        // Long runs of differences passed over between pieces, written bytes among them.
        [] {
            std::string s;
            for (int k = 0; k < 90; ++k)
                s += k % 37 == 20 ? "ΣΑΣ，" : "甲，乙ＡＢ";
            return s;
        }(),
    };
    // The differences passed over sixteen at a time and one by one.
    for (const VectorWidth width : {VectorWidth::None, VectorWidth::Avx2})
        for (const std::string &written : cases) {
            limitVectorWidth(width);
            const std::string folded = foldUtf8(written);
            const std::string diff = differences(folded, written);
            EXPECT_EQ(WrittenForm(folded, diff).text(), written) << written;
            EXPECT_EQ(diff.empty(), folded == written) << written;
            // Read for some pieces only (overlapping, out of order), each piece is as written.
            const std::size_t n = folded.size();
            const std::vector<std::pair<std::size_t, std::size_t>> pieces = {
                {n / 2, n}, {0, n / 3}, {n / 4, n / 2}, {n / 10, n / 10 + 10}, {n * 3 / 4, n}};
            const std::vector<std::pair<std::size_t, std::size_t>> together(pieces.begin(), pieces.begin() + 3),
                apart(pieces.begin() + 3, pieces.end());
            const WrittenForm full(folded, diff), partly(folded, diff, together), far(folded, diff, apart);
            for (std::size_t k = 0; k < pieces.size(); ++k) {
                auto [from, to] = pieces[k];
                while (from > 0 && (static_cast<unsigned char>(folded[from]) & 0xC0) == 0x80)
                    --from; // pieces begin and end at characters
                while (to < folded.size() && (static_cast<unsigned char>(folded[to]) & 0xC0) == 0x80)
                    ++to;
                std::string expected, got;
                full.appendWritten(from, to, expected);
                (k < 3 ? partly : far).appendWritten(from, to, got);
                EXPECT_EQ(got, expected) << written << " " << from << "-" << to;
            }
            // A piece alone from every character on: each as the whole reads it, however many
            // differences are passed over before it.
            for (std::size_t from = 0; from < n; ++from) {
                if ((static_cast<unsigned char>(folded[from]) & 0xC0) == 0x80)
                    continue;
                std::size_t to = std::min(n, from + 7);
                while (to < n && (static_cast<unsigned char>(folded[to]) & 0xC0) == 0x80)
                    ++to;
                std::string expected, got;
                full.appendWritten(from, to, expected);
                WrittenForm(folded, diff, {{from, to}}).appendWritten(from, to, got);
                ASSERT_EQ(got, expected) << written << " " << from << "-" << to;
            }
        }
    limitVectorWidth(VectorWidth::Avx512);
    // Full-width punctuation costs two bytes a character, not its own three.
    const std::string commas = "甲，乙，丙，丁，";
    EXPECT_EQ(differences(foldUtf8(commas), commas).size(), 8u);
}

TEST(WrittenForm, PiecesAndDamagedDifferencesStayInBounds)
{
    const std::string written = "發熱，ＦＥＶＥＲ，頭痛";
    const std::string folded = foldUtf8(written);
    const std::string diff = differences(folded, written);
    const WrittenForm form(folded, diff);
    std::string piece;
    form.appendWritten(folded.find("fever"), folded.find("fever") + 5, piece);
    EXPECT_EQ(piece, "ＦＥＶＥＲ");
    // Every cut and every flipped byte of the differences gives some text of the folded
    // length's order, never a read past either buffer (the sanitizer build checks that);
    // in a record with many differences too, read whole and for a piece at its end.
    std::string many;
    for (int k = 0; k < 40; ++k)
        many += "甲，乙Ｑ";
    for (const std::string &text : {written, many}) {
        const std::string fold = foldUtf8(text), diffs = differences(fold, text);
        const std::vector<std::pair<std::size_t, std::size_t>> late = {{fold.size() - 9, fold.size()}};
        for (std::size_t n = 0; n < diffs.size(); ++n) {
            EXPECT_LE(WrittenForm(fold, diffs.substr(0, n)).text().size(), text.size());
            std::string flipped = diffs;
            flipped[n] = char(flipped[n] ^ 0x5A);
            EXPECT_LE(WrittenForm(fold, flipped).text().size(), fold.size() * 4);
            std::string out;
            WrittenForm(fold, flipped, late).appendWritten(late[0].first, late[0].second, out);
            EXPECT_LE(out.size(), 9u * 4);
        }
    }
}

// Both reads of the collection, the reading program's column file and the read in this
// process, hold the content folded and give it back as written.
TEST(WrittenForm, FoldedTablesGiveBackTheContentAsWritten)
{
    const QString path = test::dataFolder("collection") + QStringLiteral("/jst.mdb");
    const auto written = test::valueOf(readMaindataInProcess(path, ContentForm::AsWritten));
    for (const bool isolated : {true, false}) {
        const auto folded = test::valueOf(isolated ? readMaindata(path, ContentForm::Folded)
                                                   : readMaindataInProcess(path, ContentForm::Folded));
        ASSERT_EQ(folded->rowCount(), written->rowCount());
        std::size_t differing = 0;
        for (std::size_t r = 0; r < folded->rowCount(); ++r) {
            EXPECT_EQ(WrittenForm(folded->content.at(r), folded->writtenDifferences(r)).text(),
                      written->content.at(r))
                << r;
            differing += folded->content.at(r) != written->content.at(r);
        }
        EXPECT_GT(differing, 5u); // the collection holds capitals and full-width forms
    }
}
