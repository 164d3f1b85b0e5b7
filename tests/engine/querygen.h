#pragma once
// Random query box texts drawn from a collection's own content: CJK and Latin runs in
// mixed case and full width, wildcards "_" and "[..]", the operators "-" and "+", empty
// terms, apostrophes and now and then an invalid pattern.
#include <QString>
#include <QStringList>

#include <random>
#include <vector>

namespace equality {

class QueryGenerator {
public:
    QueryGenerator(std::vector<QString> contents, unsigned seed) : m_contents(std::move(contents)), m_rng(seed)
    {
        std::erase_if(m_contents, [](const QString &c) { return c.isEmpty(); });
    }

    QString next()
    {
        if (m_contents.empty())
            return QString();
        QString query;
        switch (pick(10)) {
        case 0:
            query = QStringLiteral("-");
            break;
        case 1:
        case 2:
            query = QStringLiteral("+");
            break;
        default:
            break;
        }
        const int terms = 1 + pick(3);
        for (int i = 0; i < terms; ++i) {
            if (i > 0)
                query += pick(8) == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
            query += term();
        }
        if (pick(12) == 0)
            query = QStringLiteral("  ") + query + QStringLiteral(" ");
        return query;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

    QString term()
    {
        // Mostly a piece of some record's content, so that many queries find something.
        const QString &c = m_contents[size_t(pick(int(m_contents.size())))];
        const int len = 1 + pick(4);
        const int start = pick(int(std::max<qsizetype>(1, c.size() - len + 1)));
        QString t = c.mid(start, len);
        if (pick(10) == 0)
            t = QString(QChar(0x4E00 + pick(0x5000))) + t; // likely found nowhere
        QString out;
        for (QChar ch : t) {
            const int roll = pick(20);
            if (ch == QLatin1Char(' ') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                continue; // a blank would only split the term
            if (ch.isLetter() && ch.unicode() < 0x80) {
                ch = pick(2) ? ch.toUpper() : ch.toLower();
                if (roll == 0)
                    ch = QChar(ch.unicode() - 0x21 + 0xFF01); // full width
            }
            if (roll == 1)
                out += QLatin1Char('_');
            else if (roll == 2)
                out += QLatin1Char('[') + ch + QStringLiteral("a]");
            else if (roll == 3)
                out += QStringLiteral("[!") + ch + QLatin1Char(']');
            else if (roll == 4)
                out += QLatin1Char('%') + ch;
            else
                out += ch;
        }
        switch (pick(40)) {
        case 0:
            return QString(); // an empty term inside the query
        case 1:
            return out + QLatin1Char('\'');
        case 2:
            return out + QLatin1Char('['); // invalid pattern
        default:
            return out;
        }
    }

    std::vector<QString> m_contents;
    std::mt19937 m_rng;
};

} // namespace equality
