#pragma once
class QCoreApplication;

namespace morvessa {

// Makes Traditional Chinese (Taiwan) the program's locale, so that Qt's own texts
// (standard buttons, context menus of text fields and of the browser pane) come in
// Traditional Chinese, from the translations installed with Qt. Returns false when those
// are not installed: Qt's texts then stay in English.
bool installTraditionalChinese(QCoreApplication &app);

} // namespace morvessa
