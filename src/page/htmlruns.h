#pragma once
// A Big5 page cut into the runs of text the reader sees and the markup around them.
#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <vector>

namespace morvessa {

// One slice of a page. A text run may carry marks: `opens` red font tags before its
// bytes and `closes` end tags after them (all opening tags are alike, and so are all
// end tags, so counts say all there is to say about nested marks).
struct PageRun {
    PageRun(qsizetype from, qsizetype length, bool isText, uint32_t openTags = 0, uint32_t closeTags = 0)
        : pos(int32_t(from)), len(int32_t(length)), opens(openTags), closes(closeTags), text(isText)
    {}
    int32_t pos; // pages are far below 2 GB; larger ones are never marked
    int32_t len;
    uint32_t opens;
    uint32_t closes;
    bool text;
};

// Cuts the page into text runs and markup. Markup is every tag (quoted attribute values
// may hold ">"), comment, declaration, character reference, and the content of script,
// style, title and similar elements. Neighbouring pieces of markup make one run; the
// runs cover the page in order, byte for byte.
void cutIntoRuns(const QByteArray &page, std::vector<PageRun> &runs);

} // namespace morvessa
