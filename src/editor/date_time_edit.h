// TbtDateEdit and TbtTimeEdit: single-line fields with a fixed pattern ("yyyy-mm-dd" and
// "hh:nn:ss") that the user types over. Every key replaces the character under the caret,
// separators are forced into place, digits outside a position's range are replaced, and
// Delete and Backspace do nothing. Reading never fails: every part is clamped into range.
#pragma once

#include <QLineEdit>

#include "util/datetime.h"

namespace tessavo::editor {

class TbtDateEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TbtDateEdit(QWidget* parent = nullptr);

  // The date of the clamped parts (at midnight); the last good value if they make none.
  DateTime Date();
  // Keeps the value and shows its date part as "yyyy-mm-dd".
  void SetDate(const DateTime& value);
  int Year() const;   // 1899..2999; 2000 when not a number
  int Month() const;  // 1..12; 1 when not a number
  int Day() const;    // 1..days of the month; 1 when not a number

  // The character a key typed at position `p` becomes; 0 when the key is ignored.
  static QChar Typed(int p, QChar key);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  DateTime last_good_;
};

class TbtTimeEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TbtTimeEdit(QWidget* parent = nullptr);

  // Hours, minutes and seconds of the clamped parts (on 1899-12-30); the last good value
  // if they make none.
  DateTime Time();
  // Keeps the value and shows its time part as "hh:nn:ss".
  void SetTime(const DateTime& value);
  int Hours() const;    // 0..23
  int Minutes() const;  // 0..59
  int Seconds() const;  // 0..59

  static QChar Typed(int p, QChar key);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  DateTime last_good_;
};

}  // namespace tessavo::editor
