// Display fonts kept as font strings: "name,charset,color,size,style" (the last four in
// decimal; style bits bold 1, italic 2, underline 4, strike-out 8; color a 32-bit colour
// value whose low three bytes are red, green and blue, and which names the system's text
// colour when its top byte is set). The empty setting is ",,,,".
#pragma once

#include <QFont>
#include <QString>
#include <cstdint>

class QWidget;

namespace tessavo::desktop {

// A font as the settings know it: the Qt font plus the two fields Qt has no place for.
struct OptionFont {
  QFont font;
  int charset = 1;            // kept for the round trip; Qt picks glyphs itself
  int32_t color = -16777208;  // the system's window text colour
  int Style() const;          // bold 1, italic 2, underline 4, strike-out 8
  void SetStyle(int style);
};

// Applies a font string to `font`: the text before the first comma (trimmed) is the name;
// then charset, color and size, each up to the next comma and trimmed, applied when not
// empty and a decimal number; after the fourth comma the rest is the style. A string with
// no comma changes nothing; a missing comma ends the parsing there.
void SetOptionFont(const QString& text, OptionFont& font);

// The font string of `font`: name, charset, color, size, style.
QString FontString(const OptionFont& font);

// The font a widget shows, as an OptionFont (system text colour).
OptionFont FontOf(const QWidget* widget);

// Gives `widget` the font and its text colour (for the system colour: the application's).
void ApplyOptionFont(QWidget* widget, const OptionFont& font);

// The font a string gives when applied over `base`'s current font.
OptionFont FontFromString(const QString& text, const QWidget* base);

}  // namespace tessavo::desktop
