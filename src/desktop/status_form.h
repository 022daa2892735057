// TStatusForm: the small always-on-top window with one line of text that long operations
// show while they run (category checks, compact and repair, marking pages).
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace tessavo::desktop {

class TStatusForm : public QDialog {
  Q_OBJECT
 public:
  explicit TStatusForm(QWidget* owner);

  QString statusMessage() const { return message_; }
  // Shows `text` in the label (wrapped, cut at the label's height).
  void setStatusMessage(const QString& text);
  QLabel* label() const { return lblStatus_; }

 private:
  QString message_;
  QLabel* lblStatus_;
};

}  // namespace tessavo::desktop
