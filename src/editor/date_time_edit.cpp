#include "editor/date_time_edit.h"

#include <QKeyEvent>
#include <algorithm>
#include <cstdio>

namespace tessavo::editor {
namespace {

// The number in characters [from, from + count) of `text` (0-based); `def` when those
// characters are not a decimal number.
int Part(const QString& text, int from, int count, int def) {
  QString s = text.mid(from, count);
  if (s.size() != count) return def;
  bool ok = false;
  int v = s.trimmed().toInt(&ok, 10);
  return ok ? v : def;
}

bool IsDigit(QChar c) { return c >= '0' && c <= '9'; }

bool IsEditingKey(QKeyEvent* e) {
  return e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete ||
         e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut) ||
         e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo) ||
         e->matches(QKeySequence::DeleteEndOfWord) || e->matches(QKeySequence::DeleteStartOfWord) ||
         e->matches(QKeySequence::DeleteEndOfLine) || e->matches(QKeySequence::DeleteCompleteLine);
}

// Overtypes the character at the caret with what `typed` makes of the key.
void Overtype(QLineEdit* edit, QKeyEvent* e, int last, QChar (*typed)(int, QChar)) {
  if (IsEditingKey(e)) return;  // nothing may be removed or pasted
  QString key = e->text();
  if (key.size() != 1 || !key[0].isPrint()) return;
  int p = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
  if (p > last) return;
  QChar c = typed(p, key[0]);
  QString text = edit->text();
  if (p < text.size()) {
    text[p] = c;
  } else {
    text += c;
  }
  edit->setText(text);
  edit->setCursorPosition(p + 1);
}

}  // namespace

// --- Date --------------------------------------------------------------------------------

TbtDateEdit::TbtDateEdit(QWidget* parent) : QLineEdit(parent) {
  setText("0000-00-00");
  setMaxLength(10);
  setDragEnabled(false);
  setAcceptDrops(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  last_good_ = DateTime{1899, 1, 1, 0, 0, 0};
}

QChar TbtDateEdit::Typed(int p, QChar k) {
  switch (p) {
    case 0:
      return (k >= '0' && k <= '2') ? k : QChar('2');
    case 1:
    case 2:
    case 3:
    case 6:
    case 9:
      return IsDigit(k) ? k : QChar('0');
    case 4:
    case 7:
      return QChar('-');
    case 5:
      return (k == '0' || k == '1') ? k : QChar('0');
    case 8:
      return (k >= '0' && k <= '3') ? k : QChar('0');
    default:
      return QChar();
  }
}

void TbtDateEdit::keyPressEvent(QKeyEvent* event) {
  if (event->text().size() == 1 && event->text()[0].isPrint() &&
      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    Overtype(this, event, 9, &TbtDateEdit::Typed);
    return;
  }
  if (IsEditingKey(event)) return;
  QLineEdit::keyPressEvent(event);
}

int TbtDateEdit::Year() const { return std::clamp(Part(text(), 0, 4, 2000), 1899, 2999); }
int TbtDateEdit::Month() const { return std::clamp(Part(text(), 5, 2, 1), 1, 12); }
int TbtDateEdit::Day() const {
  int d = std::clamp(Part(text(), 8, 2, 1), 1, 31);
  return std::min(d, DateTime::DaysInMonth(Year(), Month()));
}

DateTime TbtDateEdit::Date() {
  DateTime d{Year(), Month(), Day(), 0, 0, 0};
  if (!d.IsValid()) return last_good_;
  last_good_ = d;
  return d;
}

void TbtDateEdit::SetDate(const DateTime& value) {
  last_good_ = DateTime{value.year, value.month, value.day, 0, 0, 0};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", value.year % 10000, value.month % 100,
                value.day % 100);
  setText(QString::fromLatin1(buf));
}

// --- Time --------------------------------------------------------------------------------

TbtTimeEdit::TbtTimeEdit(QWidget* parent) : QLineEdit(parent) {
  setText("00:00:00");
  setMaxLength(8);
  setDragEnabled(false);
  setAcceptDrops(false);
  setContextMenuPolicy(Qt::NoContextMenu);
}

QChar TbtTimeEdit::Typed(int p, QChar k) {
  switch (p) {
    case 0:
      return (k >= '0' && k <= '2') ? k : QChar('0');
    case 1:
    case 4:
    case 7:
      return IsDigit(k) ? k : QChar('0');
    case 2:
    case 5:
      return QChar(':');
    case 3:
    case 6:
      return (k >= '0' && k <= '5') ? k : QChar('0');
    default:
      return QChar();
  }
}

void TbtTimeEdit::keyPressEvent(QKeyEvent* event) {
  if (event->text().size() == 1 && event->text()[0].isPrint() &&
      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    Overtype(this, event, 7, &TbtTimeEdit::Typed);
    return;
  }
  if (IsEditingKey(event)) return;
  QLineEdit::keyPressEvent(event);
}

int TbtTimeEdit::Hours() const { return std::clamp(Part(text(), 0, 2, 0), 0, 23); }
int TbtTimeEdit::Minutes() const { return std::clamp(Part(text(), 3, 2, 0), 0, 59); }
int TbtTimeEdit::Seconds() const { return std::clamp(Part(text(), 6, 2, 0), 0, 59); }

DateTime TbtTimeEdit::Time() {
  DateTime t{1899, 12, 30, Hours(), Minutes(), Seconds()};
  if (!t.IsValid()) return last_good_;
  last_good_ = t;
  return t;
}

void TbtTimeEdit::SetTime(const DateTime& value) {
  last_good_ = DateTime{1899, 12, 30, value.hour, value.minute, value.second};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", value.hour % 100, value.minute % 100,
                value.second % 100);
  setText(QString::fromLatin1(buf));
}

}  // namespace tessavo::editor
