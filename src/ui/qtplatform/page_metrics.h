// Page geometry in dialog units, the pages' font, and the bitmaps they paint.
#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QRect>
#include <string>

class QPainter;

namespace quorrel::qtui {

// The desktop's UI font stands in for the pages' 8-point face.
QFont pageFont();

// One dialog unit is a quarter of the font's average character width across and an eighth
// of its height down.
struct DialogUnits {
  explicit DialogUnits(const QFont& font);
  int x(int dlu) const;
  int y(int dlu) const;
  QRect rect(int x, int y, int w, int h) const;
  QSize size(int w, int h) const;
  // A position the pages give in pixels of the face they were drawn with (dialog base units
  // 6 by 13), moved to where it falls among controls laid out in this font.
  QPoint fromClassicPixels(int x, int y) const;
  int baseWidth = 0;
  int baseHeight = 0;
};

// A whole 8-bit palettised bitmap file, or a null image when it is missing, short, damaged
// or of another depth.
QImage loadPaletteBitmap(const std::string& path);
// Paints `file` from the working directory with its top-left corner at (x, y) pixels at its
// own size; paints nothing for a file that loadPaletteBitmap refuses.
void PaintBitmapFile(QPainter& painter, const std::string& workingDirectory,
                     const std::string& file, int x, int y);
// A list image: any bitmap file scaled to `size` square, or the style's warning icon.
QIcon loadListImage(const std::string& path, int size);

}  // namespace quorrel::qtui
