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

    // The statement's patterns hold the terms as typed: an apostrophe is escaped only
    // where the statement is printed.
    const bool operatorFirst = a.mode == QLatin1String("mod3") || a.mode == QLatin1String("mod4");
    const QString typedRest = operatorFirst ? a.trimmed.mid(1) : a.trimmed;
    if (a.mode == QLatin1String("mod1"))
        a.statement.kind = SearchStatement::AllRows;
    else
        a.statement.kind = a.mode == QLatin1String("mod4") ? SearchStatement::AnyTerm : SearchStatement::AllTerms;
    if (!typedRest.isEmpty())
        for (const QString &term : typedRest.split(kBlank, Qt::KeepEmptyParts))
            a.statement.patterns << QLatin1Char('%') + term + QLatin1Char('%');
    a.sqlText = a.statement.sqlText();
    return a;
}

QString notFoundMessage(const QString &messageText)
{
    return QStringLiteral(" 全文檢索搜尋　[ ") + messageText + QStringLiteral(" ]　資料不存在");
}

} // namespace morvessa
