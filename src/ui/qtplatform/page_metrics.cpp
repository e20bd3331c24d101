// Dialog units, the page font and bitmap painting.
#include "ui/qtplatform/page_metrics.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include "ui/presentation/bitmap_file.h"

namespace quorrel::qtui {

QFont pageFont() {
  return QApplication::font();
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics fm(font);
  static const QString kAlphabet =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  baseWidth = std::max(1, (fm.horizontalAdvance(kAlphabet) / 26 + 1) / 2);
  baseHeight = std::max(1, fm.height());
}

int DialogUnits::x(int dlu) const {
  return (dlu * baseWidth + 2) / 4;
}
int DialogUnits::y(int dlu) const {
  return (dlu * baseHeight + 4) / 8;
}
QRect DialogUnits::rect(int x0, int y0, int w, int h) const {
  return QRect(x(x0), y(y0), x(w), y(h));
}
QSize DialogUnits::size(int w, int h) const {
  return QSize(x(w), y(h));
}

QPoint DialogUnits::fromClassicPixels(int px, int py) const {
  constexpr int kClassicBaseWidth = 6;
  constexpr int kClassicBaseHeight = 13;
  return QPoint(px * baseWidth / kClassicBaseWidth, py * baseHeight / kClassicBaseHeight);
}

QImage loadPaletteBitmap(const std::string& path) {
  const auto bytes = ui::readWholeFile(path);
  if (!bytes || !ui::checkPaletteBitmap(*bytes)) return {};
  QImage image;
  if (!image.loadFromData(bytes->data(), static_cast<int>(bytes->size()), "BMP")) return {};
  return image;
}

void PaintBitmapFile(QPainter& painter, const std::string& workingDirectory,
                     const std::string& file, int x, int y) {
  const QImage image = loadPaletteBitmap(workingDirectory + "/" + file);
  if (!image.isNull()) painter.drawImage(QPoint(x, y), image);
}

QIcon loadListImage(const std::string& path, int size) {
  QImage image;
  const auto bytes = ui::readWholeFile(path);
  if (bytes && bytes->size() <= static_cast<std::size_t>(INT32_MAX))
    image.loadFromData(bytes->data(), static_cast<int>(bytes->size()), "BMP");
  if (image.isNull()) return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
  return QIcon(QPixmap::fromImage(
      image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

}  // namespace quorrel::qtui
