// The page marker: bytes -> keyword text (Big5, before the first NUL byte) and page (after
// it) -> markKeywords. The marked page is the page with marks added and nothing else.
#include "fuzztarget.h"

#include "page/marking.h"
#include "text/big5.h"

#include <QByteArray>

namespace {

QByteArray withoutMarks(QByteArray page)
{
    return page.replace("<font color=red>", "").replace("</font>", "");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    if (nul < 0 || nul > 200)
        return 0;
    const QString keywords = morvessa::big5Decode(input.left(nul));
    const QByteArray page = input.mid(nul + 1);
    const QByteArray marked = morvessa::markKeywords(page, keywords);
    if (withoutMarks(marked) != withoutMarks(page))
        fuzz::fail("marking changed the page beyond adding marks");
    return 0;
}
