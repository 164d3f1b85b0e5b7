#include "search/queryanalysis.h"

#include "text/blanks.h"

namespace morvessa {

QString modeName(QueryMode mode)
{
    switch (mode) {
    case QueryMode::ListAll:
        return QStringLiteral("mod1");
    case QueryMode::MinusOperator:
        return QStringLiteral("mod3");
    case QueryMode::PlusOperator:
        return QStringLiteral("mod4");
    case QueryMode::NoOperator:
        break;
    }
    return QStringLiteral("mod3a");
}

bool hasOperator(QueryMode mode)
{
    return mode == QueryMode::MinusOperator || mode == QueryMode::PlusOperator;
}

QString keywordTextFor(const QString &boxText, QueryMode mode)
{
    const QString trimmed = trimBlanks(boxText);
    if (hasOperator(mode))
        return trimmed.mid(1, 100); // the operator goes, at most 100 characters follow
    return trimmed;
}

QueryAnalysis analyseQuery(const QString &boxText)
{
    QueryAnalysis a;
    a.trimmed = trimBlanks(boxText);

    QString escaped = a.trimmed;
    escaped.replace(QLatin1Char('\''), QStringLiteral("'&chr(39)&'"));

    QString rest;
    if (escaped.isEmpty()) {
        a.mode = QueryMode::ListAll;
    } else if (escaped.at(0) == QLatin1Char('-')) {
        a.mode = QueryMode::MinusOperator;
        rest = escaped.mid(1);
    } else if (escaped.at(0) == QLatin1Char('+')) {
        a.mode = QueryMode::PlusOperator;
        rest = escaped.mid(1);
    } else {
        a.mode = QueryMode::NoOperator;
        rest = escaped;
    }
    a.messageText = rest;

    // Every blank splits, so runs of blanks give empty terms. There is no cap on the
    // number of terms: a longer query simply makes a longer statement.
    if (!rest.isEmpty())
        a.keywords = rest.split(kBlank, Qt::KeepEmptyParts);

    // The statement's patterns hold the terms as typed: an apostrophe is escaped only
    // where the statement is printed.
    const QString typedRest = hasOperator(a.mode) ? a.trimmed.mid(1) : a.trimmed;
    if (a.mode == QueryMode::ListAll)
        a.statement.kind = SearchStatement::AllRows;
    else
        a.statement.kind =
            a.mode == QueryMode::PlusOperator ? SearchStatement::AnyTerm : SearchStatement::AllTerms;
    if (!typedRest.isEmpty())
        for (const QString &term : typedRest.split(kBlank, Qt::KeepEmptyParts))
            a.statement.patterns << QLatin1Char('%') + term + QLatin1Char('%');
    a.sqlText = a.statement.sqlText();
    a.keywordText = keywordTextFor(a.trimmed, a.mode);
    return a;
}

QString notFoundMessage(const QString &messageText)
{
    return QStringLiteral(" 全文檢索搜尋　[ ") + messageText + QStringLiteral(" ]　資料不存在");
}

} // namespace morvessa
