#pragma once
// The program's own pictures: SVG drawings in the resource folder :/pictures, drawn at
// their laid-out sizes (in pixels at 96 dpi, scaled to the screen). The start window's
// may be replaced by files in the application folder.
#include <QIcon>
#include <QPixmap>

namespace morvessa::pictures {

QPixmap startBackground(); // 800 x 580: title, subtitle, herb and scroll motif
QPixmap queryButton();     // 170 x 60: 進入檢索
QPixmap queryButtonDown(); // 141 x 50: 進入檢索, pressed
QPixmap setButton();       // 170 x 60: 使用導覽
QPixmap mainPanel();       // 800 x 580: light-blue panel with a bevelled border
QPixmap searchButton();    // 67 x 28: 搜尋
QIcon appIcon();

// One drawing of :/pictures by file name, at its own size scaled to the screen.
QPixmap drawing(const QString &name);

// A picture file as the windows load it, drawn later at its own pixel size.
// Null when the file cannot be read as a picture.
QPixmap loadPictureFile(const QString &path);

} // namespace morvessa::pictures
