#include "page/htmlruns.h"

#include <QtGlobal>

#include <cstring>
#include <string.h> // memmem

namespace morvessa {

namespace {

bool isAsciiLetter(unsigned char b)
{
    return (b | 0x20) >= 'a' && (b | 0x20) <= 'z';
}
bool isAsciiAlnum(unsigned char b)
{
    return isAsciiLetter(b) || (b >= '0' && b <= '9');
}
bool isHtmlSpace(unsigned char b)
{
    return b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == '\f';
}

class Cutter {
public:
    Cutter(const QByteArray &page, std::vector<PageRun> &runs)
        : m_p(reinterpret_cast<const unsigned char *>(page.constData())), m_n(page.size()), m_runs(runs)
    {
        runs.clear();
    }

    void run()
    {
        qsizetype i = 0;
        while (i < m_n) {
            const qsizetype end = markupEnd(i);
            if (end > i) {
                pushMarkup(i, end);
                i = end;
                if (m_rawUntil.size()) {
                    const qsizetype rawEnd = rawTextEnd(i);
                    pushMarkup(i, rawEnd);
                    i = rawEnd;
                    m_rawUntil.clear();
                }
            } else {
                // Markup starts only at "<" or "&", which are never the second byte of
                // a Big5 character: the text runs on to the next of them.
                if (m_textStart < 0)
                    m_textStart = i;
                ++i;
                while (i < m_n && m_p[i] != '<' && m_p[i] != '&')
                    ++i;
                m_textEnd = i;
            }
        }
        flushText();
    }

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
        static const char *const names[] = {"script", "style",   "title",    "textarea", "xmp",
                                            "iframe", "noembed", "noframes", "noscript"};
        const qsizetype len = nameEnd - nameStart;
        for (const char *raw : names) {
            if (qsizetype(std::strlen(raw)) == len &&
                qstrnicmp(reinterpret_cast<const char *>(m_p + nameStart), raw, len) == 0) {
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
            if (m_p[i] != '<' ||
                qstrnicmp(reinterpret_cast<const char *>(m_p + i), m_rawUntil.constData(), len) != 0)
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

    void pushMarkup(qsizetype from, qsizetype to)
    {
        flushText();
        if (to <= from)
            return;
        if (!m_runs.empty() && !m_runs.back().text && m_runs.back().pos + m_runs.back().len == from) {
            m_runs.back().len += int32_t(to - from);
            return;
        }
        m_runs.emplace_back(from, to - from, false);
    }

    void flushText()
    {
        if (m_textStart >= 0)
            m_runs.emplace_back(m_textStart, m_textEnd - m_textStart, true);
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
    std::vector<PageRun> &m_runs;
    qsizetype m_textStart = -1;
    qsizetype m_textEnd = 0;
    QByteArray m_rawUntil;
};

} // namespace

void cutIntoRuns(const QByteArray &page, std::vector<PageRun> &runs)
{
    Cutter(page, runs).run();
}

} // namespace morvessa
