#pragma once
// Query analysis: from the query box text to the query mode and the statement.
#include "engine/searchstatement.h"

#include <QString>
#include <QStringList>

namespace morvessa {

// Chosen by the first character of the trimmed query.
enum class QueryMode {
    ListAll,       // empty query: every record, newest first
    MinusOperator, // "-" first: every term must occur
    PlusOperator,  // "+" first: any term may occur
    NoOperator,    // anything else: every term must occur, the whole query is terms
};

// The printed form the window keeps and the terminal shows: "mod1", "mod3", "mod4", "mod3a".
QString modeName(QueryMode mode);

// The two modes whose query begins with an operator; the viewer treats them apart.
bool hasOperator(QueryMode mode);

// What the record page marks for a query box text searched in mode: the text trimmed of
// U+0020; with an operator, then the characters from the second to the 101st (UTF-16 units).
QString keywordTextFor(const QString &boxText, QueryMode mode);

struct QueryAnalysis {
    QString trimmed; // the box text without leading/trailing U+0020; written back to the box
    QueryMode mode = QueryMode::ListAll;
    QStringList keywords;      // empty terms kept
    SearchStatement statement; // what the search runs
    QString sqlText;           // the statement's text, character for character (statement.sqlText())
    QString messageText;       // escaped query without its operator, for the not-found message
    QString keywordText;       // what the record page marks (keywordTextFor)
};

QueryAnalysis analyseQuery(const QString &boxText);

// " 全文檢索搜尋　[ " + messageText + " ]　資料不存在"
QString notFoundMessage(const QString &messageText);

} // namespace morvessa
