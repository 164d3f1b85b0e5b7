#pragma once
// A search statement as the query box builds it: which rows (all of them, those whose
// content is like every pattern, or like any), and the like patterns. It prints as the
// statement text in the Jet dialect; the fast path answers it from the columns without
// reading that text back.
#include <QString>
#include <QStringList>

namespace morvessa {

struct SearchStatement {
    enum Kind { AllRows, AllTerms, AnyTerm } kind = AllRows;
    // "%" + term + "%", an apostrophe standing for itself (the text escapes it).
    QStringList patterns;

    // The statement in the Jet dialect, character for character as the search runs it:
    // all rows newest first; every term, newest first; any term, in file order.
    QString sqlText() const;
};

} // namespace morvessa
