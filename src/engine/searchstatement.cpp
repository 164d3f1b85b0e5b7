#include "engine/searchstatement.h"

namespace morvessa {

namespace {

// Inside a literal an apostrophe closes it, joins chr(39) and opens the next one.
QString literalBody(const QString &pattern)
{
    return QString(pattern).replace(QLatin1Char('\''), QStringLiteral("'&chr(39)&'"));
}

} // namespace

QString SearchStatement::sqlText() const
{
    switch (kind) {
    case AllRows:
        return QStringLiteral("select subject,htm from  maindata order by date desc");
    case AnyTerm: {
        QString sql = QStringLiteral("select subject,htm from  maindata where 1=2");
        for (const QString &p : patterns)
            sql += QStringLiteral("  or content like '") + literalBody(p) + QStringLiteral("' ");
        return sql;
    }
    case AllTerms:
        break;
    }
    QString sql = QStringLiteral("select subject,htm from  maindata where 1=1");
    for (const QString &p : patterns)
        sql += QStringLiteral(" and content like '") + literalBody(p) + QStringLiteral("' ");
    if (patterns.isEmpty())
        sql += QLatin1Char(' '); // one blank between "1=1" and the order clause
    return sql + QStringLiteral("order by [date] desc ");
}

} // namespace morvessa
