#include "search/queryanalysis.h"

#include "text/blanks.h"

namespace morvessa {

QueryAnalysis analyseQuery(const QString &boxText)
{
    QueryAnalysis a;
    a.trimmed = trimBlanks(boxText);

    QString escaped = a.trimmed;
    escaped.replace(QLatin1Char('\''), QStringLiteral("'&chr(39)&'"));

    QString rest;
    if (escaped.isEmpty()) {
        a.mode = QStringLiteral("mod1");
    } else if (escaped.at(0) == QLatin1Char('-')) {
        a.mode = QStringLiteral("mod3");
        rest = escaped.mid(1);
    } else if (escaped.at(0) == QLatin1Char('+')) {
        a.mode = QStringLiteral("mod4");
        rest = escaped.mid(1);
    } else {
        a.mode = QStringLiteral("mod3a");
        rest = escaped;
    }
    a.messageText = rest;

    // Every blank splits, so runs of blanks give empty terms. There is no cap on the
    // number of terms: a longer query simply makes a longer statement.
    if (!rest.isEmpty())
        a.keywords = rest.split(kBlank, Qt::KeepEmptyParts);

    if (a.mode == QLatin1String("mod1")) {
        a.sqlText = QStringLiteral("select subject,htm from  maindata order by date desc");
    } else if (a.mode == QLatin1String("mod4")) {
        a.sqlText = QStringLiteral("select subject,htm from  maindata where 1=2");
        for (const QString &term : a.keywords)
            a.sqlText += QStringLiteral("  or content like '%") + term + QStringLiteral("%' ");
    } else {
        a.sqlText = QStringLiteral("select subject,htm from  maindata where 1=1");
        for (const QString &term : a.keywords)
            a.sqlText += QStringLiteral(" and content like '%") + term + QStringLiteral("%' ");
        if (a.keywords.isEmpty())
            a.sqlText += kBlank;
        a.sqlText += QStringLiteral("order by [date] desc ");
    }
    return a;
}

QString notFoundMessage(const QString &messageText)
{
    return QStringLiteral(" 全文檢索搜尋　[ ") + messageText + QStringLiteral(" ]　資料不存在");
}

} // namespace morvessa
