#pragma once
// The keyword text the viewer hands to the record page.
#include <QString>

namespace morvessa {

// The box text trimmed of U+0020; in modes "mod3" and "mod4" then the characters from the
// second to the 101st.
QString keywordTextFor(const QString &boxText, const QString &searchMode);

} // namespace morvessa
