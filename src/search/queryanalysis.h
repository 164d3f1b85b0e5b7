#pragma once
// Query analysis: from the query box text to the query mode and the statement.
#include "engine/searchstatement.h"

#include <QString>
#include <QStringList>

namespace morvessa {

struct QueryAnalysis {
    QString trimmed;           // the box text without leading/trailing U+0020; written back to the box
    QString mode;              // "mod1", "mod3", "mod3a" or "mod4"
    QStringList keywords;      // empty terms kept
    SearchStatement statement; // what the search runs
    QString sqlText;           // the statement's text, character for character (statement.sqlText())
    QString messageText;       // escaped query without its operator, for the not-found message
};

QueryAnalysis analyseQuery(const QString &boxText);

// " 全文檢索搜尋　[ " + messageText + " ]　資料不存在"
QString notFoundMessage(const QString &messageText);

} // namespace morvessa
