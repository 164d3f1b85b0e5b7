#include "page/recordpage.h"

#include "store/appfolder.h"
#include "text/big5.h"
#include "text/blanks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdint>
#include <cstdio> // rename
#include <cstring>
#include <string.h> // memmem
#include <vector>

namespace morvessa {

namespace {

const QByteArray kOpenTag = QByteArrayLiteral("<font color=red>");
const QByteArray kCloseTag = QByteArrayLiteral("</font>");

bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE); }
bool isAsciiLetter(unsigned char b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }
bool isAsciiAlnum(unsigned char b) { return isAsciiLetter(b) || (b >= '0' && b <= '9'); }
bool isHtmlSpace(unsigned char b) { return b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == '\f'; }

// Big5 codes that decode to the same character as another code. Terms are encoded to the
// second code of each pair, so the page is compared with its first codes rewritten.
struct Big5Alias {
    unsigned char from[2];
    unsigned char to[2];
};
constexpr Big5Alias kBig5Aliases[] = {
    {{0xA2, 0xA4}, {0xF9, 0xF9}}, {{0xA2, 0xA5}, {0xF9, 0xE9}}, {{0xA2, 0xA6}, {0xF9, 0xEA}},
    {{0xA2, 0xA7}, {0xF9, 0xEB}}, {{0xA2, 0xCC}, {0xA4, 0x51}}, {{0xA2, 0xCE}, {0xA4, 0xCA}},
    {{0xF9, 0xFA}, {0xA2, 0x7E}}, {{0xF9, 0xFB}, {0xA2, 0xA1}}, {{0xF9, 0xFC}, {0xA2, 0xA2}},
    {{0xF9, 0xFD}, {0xA2, 0xA3}},
};

// One piece of the marked page: a slice of the source page, or an inserted tag.
struct Segment {
    enum Kind : unsigned char { Text, Markup, OpenTag, CloseTag };
    Segment(qsizetype p, qsizetype l, Kind k) : pos(int32_t(p)), len(int32_t(l)), kind(k) {}
    int32_t pos; // pages are far below 2 GB; markKeywords leaves larger ones alone
    int32_t len;
    Kind kind;
};

qsizetype charLength(const unsigned char *p, qsizetype i, qsizetype n)
{
    return (isLeadByte(p[i]) && i + 1 < n && isTrailByte(p[i + 1])) ? 2 : 1;
}

// Cuts the page into text runs and markup. Also makes the key in which terms are
// searched: the page with alias codes rewritten (same length; it shares the page's bytes
// when the page has none).
class Segmenter
{
public:
    Segmenter(const QByteArray &page, std::vector<Segment> &segments)
        : m_p(reinterpret_cast<const unsigned char *>(page.constData())), m_n(page.size()),
          m_key(page), m_segments(segments)
    {
        segments.clear();
    }

    void run()
    {
        qsizetype i = 0;
        while (i < m_n) {
            const qsizetype end = markupEnd(i);
            if (end > i) {
                push(Segment::Markup, i, end);
                i = end;
                if (m_rawUntil.size()) {
                    const qsizetype rawEnd = rawTextEnd(i);
                    push(Segment::Markup, i, rawEnd);
                    i = rawEnd;
                    m_rawUntil.clear();
                }
            } else {
                i = textChar(i);
            }
        }
        flushText();
    }

    QByteArray key() const { return m_key; }

private:
    // End of the markup that starts at i, or i when a text character starts there.
    qsizetype markupEnd(qsizetype i)
    {
        if (m_p[i] == '&')
            return referenceEnd(i);
        if (m_p[i] != '<' || i + 1 >= m_n)
            return i;
        const unsigned char next = m_p[i + 1];
        if (next == '!' && startsWith(i + 2, "--")) {
            // <!-- ... -->, including the short forms <!--> and <!--->
            if (startsWith(i + 4, ">"))
                return i + 5;
            if (startsWith(i + 4, "->"))
                return i + 6;
            return find(i + 4, "-->", 3);
        }
        if (next == '!' || next == '?' || (next == '/' && !(i + 2 < m_n && isAsciiLetter(m_p[i + 2]))))
            return find(i + 2, ">", 1);
        if (next == '/')
            return tagEnd(i + 2, false);
        if (isAsciiLetter(next))
            return tagEnd(i + 1, true);
        return i; // a lone "<" is text
    }

    // A start or end tag from its name at i: the name, then attributes whose quoted
    // values may hold ">".
    qsizetype tagEnd(qsizetype i, bool startTag)
    {
        const qsizetype nameStart = i;
        while (i < m_n && !isHtmlSpace(m_p[i]) && m_p[i] != '/' && m_p[i] != '>')
            ++i;
        if (startTag)
            noteRawElement(nameStart, i);
        for (;;) {
            while (i < m_n && (isHtmlSpace(m_p[i]) || m_p[i] == '/'))
                ++i;
            if (i >= m_n)
                return m_n;
            if (m_p[i] == '>')
                return i + 1;
            ++i; // an attribute name may begin with any character, "=" included
            while (i < m_n && !isHtmlSpace(m_p[i]) && m_p[i] != '/' && m_p[i] != '>' && m_p[i] != '=')
                ++i;
            while (i < m_n && isHtmlSpace(m_p[i]))
                ++i;
            if (i >= m_n || m_p[i] != '=')
                continue;
            ++i;
            while (i < m_n && isHtmlSpace(m_p[i]))
                ++i;
            if (i < m_n && (m_p[i] == '"' || m_p[i] == '\'')) {
                const unsigned char quote = m_p[i];
                ++i;
                while (i < m_n && m_p[i] != quote)
                    ++i;
                if (i < m_n)
                    ++i;
            } else {
                while (i < m_n && !isHtmlSpace(m_p[i]) && m_p[i] != '>')
                    ++i;
            }
        }
    }

    // Elements whose content is not markup-bearing text: marking inside them would show
    // the inserted tags literally or break a script or style sheet.
    void noteRawElement(qsizetype nameStart, qsizetype nameEnd)
    {
        static const char *const names[] = {"script", "style", "title", "textarea", "xmp",
                                            "iframe", "noembed", "noframes", "noscript"};
        const qsizetype len = nameEnd - nameStart;
        for (const char *raw : names) {
            if (qsizetype(std::strlen(raw)) == len
                && qstrnicmp(reinterpret_cast<const char *>(m_p + nameStart), raw, len) == 0) {
                m_rawUntil = QByteArray("</") + raw;
                return;
            }
        }
    }

    // The content of a raw element ends where its end tag begins.
    qsizetype rawTextEnd(qsizetype i) const
    {
        const qsizetype len = m_rawUntil.size();
        for (; i + len <= m_n; ++i) {
            if (m_p[i] != '<' || qstrnicmp(reinterpret_cast<const char *>(m_p + i),
                                           m_rawUntil.constData(), len) != 0)
                continue;
            if (i + len == m_n || isHtmlSpace(m_p[i + len]) || m_p[i + len] == '/' || m_p[i + len] == '>')
                return i;
        }
        return m_n;
    }

    // "&amp;", "&#20013;", "&#x4E2D;"; a number also without the closing ";". A name
    // without it ("AT&T") is text, as the browser shows it.
    qsizetype referenceEnd(qsizetype i) const
    {
        qsizetype j = i + 1;
        const bool numeric = j < m_n && m_p[j] == '#';
        if (numeric) {
            ++j;
            if (j < m_n && (m_p[j] | 0x20) == 'x')
                ++j;
        }
        const qsizetype nameStart = j;
        while (j < m_n && isAsciiAlnum(m_p[j]))
            ++j;
        if (j == nameStart)
            return i; // a lone "&" is text
        if (j < m_n && m_p[j] == ';')
            return j + 1;
        return numeric ? j : i;
    }

    // Takes one Big5 character of text at i; returns where the next one starts.
    qsizetype textChar(qsizetype i)
    {
        if (m_textStart < 0)
            m_textStart = i;
        if (charLength(m_p, i, m_n) == 2) {
            if (m_p[i] != 0xA2 && m_p[i] != 0xF9) // the only lead bytes of aliases
                return m_textEnd = i + 2;
            for (const Big5Alias &alias : kBig5Aliases) {
                if (m_p[i] == alias.from[0] && m_p[i + 1] == alias.from[1]) {
                    m_key[i] = char(alias.to[0]);
                    m_key[i + 1] = char(alias.to[1]);
                    break;
                }
            }
            return m_textEnd = i + 2;
        }
        return m_textEnd = i + 1;
    }

    void push(Segment::Kind kind, qsizetype from, qsizetype to)
    {
        flushText();
        if (to > from)
            m_segments.push_back({from, to - from, kind});
    }

    void flushText()
    {
        if (m_textStart >= 0)
            m_segments.push_back({m_textStart, m_textEnd - m_textStart, Segment::Text});
        m_textStart = -1;
    }

    bool startsWith(qsizetype i, const char *s) const
    {
        const qsizetype len = qsizetype(std::strlen(s));
        return i + len <= m_n && std::memcmp(m_p + i, s, size_t(len)) == 0;
    }

    // Position after the first occurrence of s at or after i, or the page's end.
    qsizetype find(qsizetype i, const char *s, qsizetype len) const
    {
        if (i >= m_n)
            return m_n;
        const void *hit = memmem(m_p + i, size_t(m_n - i), s, size_t(len));
        return hit ? (static_cast<const unsigned char *>(hit) - m_p) + len : m_n;
    }

    const unsigned char *m_p;
    qsizetype m_n;
    QByteArray m_key;
    std::vector<Segment> &m_segments;
    qsizetype m_textStart = -1;
    qsizetype m_textEnd = 0;
    QByteArray m_rawUntil;
};

// Wraps every occurrence of term that lies in a text run and starts on a character.
// Occurrences are taken left to right and do not overlap; the wrapped term stays a
// text run of its own, between two tags, so later terms see it but no match crosses it.
// The new segments go to `spare`, which then changes places with `segments`.
bool markTerm(const QByteArray &page, const QByteArray &key, std::vector<Segment> &segments,
              std::vector<Segment> &spare, const QByteArray &term)
{
    const char *k = key.constData();
    const auto *bytes = reinterpret_cast<const unsigned char *>(page.constData());
    const qsizetype n = page.size();
    const qsizetype termLength = term.size();
    if (!memmem(k, size_t(n), term.constData(), size_t(termLength)))
        return false;
    spare.clear();
    spare.reserve(segments.size() + 1024);
    bool marked = false;
    for (const Segment &seg : segments) {
        if (seg.kind != Segment::Text || seg.len < termLength) {
            spare.push_back(seg);
            continue;
        }
        qsizetype from = seg.pos;
        const qsizetype end = seg.pos + seg.len;
        qsizetype search = from;
        qsizetype charStart = from; // text runs begin on a character
        while (end - search >= termLength) {
            const void *hit = memmem(k + search, size_t(end - search), term.constData(),
                                     size_t(termLength));
            if (!hit)
                break;
            const qsizetype at = static_cast<const char *>(hit) - k;
            while (charStart < at)
                charStart += charLength(bytes, charStart, n);
            if (charStart != at) {
                search = at + 1;
                continue;
            }
            if (at > from)
                spare.push_back({from, at - from, Segment::Text});
            spare.push_back({0, kOpenTag.size(), Segment::OpenTag});
            spare.push_back({at, termLength, Segment::Text});
            spare.push_back({0, kCloseTag.size(), Segment::CloseTag});
            // A whole term ends on a character boundary.
            from = search = charStart = at + termLength;
            marked = true;
        }
        if (end > from)
            spare.push_back({from, end - from, Segment::Text});
    }
    if (marked)
        segments.swap(spare);
    return marked;
}

// The page file for a page name written with Windows separators. When the exact path
// does not exist, each part of it is looked up without regard to letter case, as the
// collection's names were written on a system that ignores case.
QString sourcePagePath(const QString &folder, const QString &pageName)
{
    if (pageName.isEmpty())
        return QString();
    const QString exact = appPath(folder, QLatin1Char('\\') + pageName);
    if (QFileInfo(exact).isFile())
        return exact;
    QString path = folder;
    const QStringList parts = QString(pageName).replace(QLatin1Char('\\'), QLatin1Char('/'))
                                  .split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString next = path + QLatin1Char('/') + part;
        if (QFileInfo::exists(next)) {
            path = next;
            continue;
        }
        const QStringList entries = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                         | QDir::NoDotAndDotDot);
        const auto match = std::find_if(entries.begin(), entries.end(), [&](const QString &entry) {
            return entry.compare(part, Qt::CaseInsensitive) == 0;
        });
        if (match == entries.end())
            return QString();
        path += QLatin1Char('/') + *match;
    }
    return QFileInfo(path).isFile() ? path : QString();
}

} // namespace

QString recordPagePath(const QString &folder)
{
    return appPath(folder, QStringLiteral("\\tmp\\TmpKELMAR.htm"));
}

QByteArray markKeywords(const QByteArray &big5Page, const QString &keywordText)
{
    if (keywordText.isEmpty() || big5Page.isEmpty() || big5Page.size() > INT32_MAX / 2)
        return big5Page;
    // Kept from call to call: a long page needs a large list, and taking fresh memory
    // for it on every row change costs more than the marking itself.
    thread_local std::vector<Segment> segments, spare;
    QByteArray key;
    bool segmented = false;
    bool marked = false;
    for (const QString &term : keywordText.split(QLatin1Char(' '), Qt::KeepEmptyParts)) {
        if (term.isEmpty())
            continue;
        qsizetype unmappable = -1;
        const QByteArray bytes = big5Encode(term, &unmappable);
        if (bytes.isEmpty() || unmappable >= 0)
            continue; // a term Big5 cannot hold occurs in no Big5 page
        if (!segmented) {
            Segmenter segmenter(big5Page, segments);
            segmenter.run();
            key = segmenter.key();
            segmented = true;
        }
        marked = markTerm(big5Page, key, segments, spare, bytes) || marked;
    }

    QByteArray out;
    if (marked) {
        qsizetype size = 0;
        for (const Segment &seg : segments)
            size += seg.len;
        out.resize(size);
        char *to = out.data();
        for (const Segment &seg : segments) {
            const char *from = seg.kind == Segment::OpenTag    ? kOpenTag.constData()
                               : seg.kind == Segment::CloseTag ? kCloseTag.constData()
                                                               : big5Page.constData() + seg.pos;
            std::memcpy(to, from, size_t(seg.len));
            to += seg.len;
        }
    }
    constexpr size_t kKeptSegments = 1 << 20;
    if (segments.capacity() > kKeptSegments) {
        std::vector<Segment>().swap(segments);
        std::vector<Segment>().swap(spare);
    }
    return marked ? out : big5Page;
}

void WriteRecordPage(const QString &folder, const QString &pageName, const QString &keywordText)
{
    // Nothing here reaches the caller: a step that fails leaves the page as far as it got.
    try {
        const QString tmpFolder = appPath(folder, QStringLiteral("\\tmp"));
        if (!QFileInfo(tmpFolder).isDir())
            QDir(folder).mkdir(QStringLiteral("tmp"));

        QByteArray page;
        const QString source = sourcePagePath(folder, pageName);
        if (!source.isEmpty()) {
            QFile file(source);
            if (file.open(QIODevice::ReadOnly)) {
                page = file.readAll();
                if (file.error() != QFileDevice::NoError)
                    page.clear();
            }
        }

        const QByteArray marked = markKeywords(page, keywordText);

        // Replaced in one step: the browser pane may still be reading the previous page,
        // and a page that cannot be replaced keeps its earlier content. Not forced to disk
        // (QSaveFile would): the page is rewritten on every row change, and the wait for
        // the disk took most of the time of a row change.
        const QString target = recordPagePath(folder);
        QTemporaryFile out(target + QStringLiteral(".XXXXXX"));
        if (out.open() && out.write(marked) == marked.size() && out.flush() &&
            out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther) &&
            ::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(target).constData()) == 0)
            out.setAutoRemove(false);
    } catch (...) {
    }
}

QString keywordTextFor(const QString &boxText, const QString &searchMode)
{
    const QString trimmed = trimBlanks(boxText);
    if (searchMode == QLatin1String("mod3") || searchMode == QLatin1String("mod4"))
        return trimmed.mid(1, 100); // the operator goes, at most 100 characters follow
    return trimmed;
}

void deleteRecordPage(const QString &pagePath)
{
    if (fileExists(pagePath))
        QFile::remove(pagePath);
}

} // namespace morvessa
