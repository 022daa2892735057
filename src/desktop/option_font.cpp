#include "desktop/option_font.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace tessavo::desktop {
namespace {

bool ToNumber(const QString& field, long long& out) {
  bool ok = false;
  long long v = field.toLongLong(&ok, 10);
  if (!ok) return false;
  out = v;
  return true;
}

}  // namespace

int OptionFont::Style() const {
  return (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) |
         (font.strikeOut() ? 8 : 0);
}

void OptionFont::SetStyle(int style) {
  font.setBold(style & 1);
  font.setItalic(style & 2);
  font.setUnderline(style & 4);
  font.setStrikeOut(style & 8);
}

void SetOptionFont(const QString& text, OptionFont& f) {
  int comma = text.indexOf(',');
  if (comma < 0) return;
  QString name = text.left(comma).trimmed();
  if (!name.isEmpty()) f.font.setFamily(name);
  QString rest = text.mid(comma + 1);
  // charset, color, size: each needs the comma after it.
  for (int field = 0; field < 3; ++field) {
    comma = rest.indexOf(',');
    if (comma < 0) return;
    QString value = rest.left(comma).trimmed();
    rest = rest.mid(comma + 1);
    long long n = 0;
    if (value.isEmpty() || !ToNumber(value, n)) continue;
    switch (field) {
      case 0:
        if (n >= 0 && n <= 255) f.charset = static_cast<int>(n);
        break;
      case 1:
        if (n >= INT32_MIN && n <= UINT32_MAX)
          f.color = static_cast<int32_t>(static_cast<uint32_t>(n));
        break;
      case 2:
        // A positive size is in points; a negative one gives the height in pixels.
        if (n > 0 && n < 1000) f.font.setPointSize(static_cast<int>(n));
        if (n < 0 && n > -1000) f.font.setPixelSize(static_cast<int>(-n));
        break;
    }
  }
  QString style = rest.trimmed();
  long long n = 0;
  if (!style.isEmpty() && ToNumber(style, n) && n >= 0 && n <= 255) f.SetStyle(static_cast<int>(n));
}

QString FontString(const OptionFont& f) {
  return QString("%1,%2,%3,%4,%5")
      .arg(f.font.family())
      .arg(f.charset)
      .arg(f.color)
      .arg(f.font.pointSize() > 0 ? f.font.pointSize() : -f.font.pixelSize())
      .arg(f.Style());
}

OptionFont FontOf(const QWidget* widget) {
  OptionFont f;
  f.font = widget->font();
  return f;
}

void ApplyOptionFont(QWidget* widget, const OptionFont& f) {
  widget->setFont(f.font);
  QPalette pal = widget->palette();
  const uint32_t c = static_cast<uint32_t>(f.color);
  for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
    // The system colour is the application palette's own, so that a font whose colour was
    // set before goes back to it.
    pal.setColor(role, (c & 0xFF000000u) == 0 ? QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF)
                                              : QApplication::palette(widget).color(role));
  }
  widget->setPalette(pal);
}

OptionFont FontFromString(const QString& text, const QWidget* base) {
  OptionFont f = FontOf(base);
  SetOptionFont(text, f);
  return f;
}

}  // namespace tessavo::desktop
