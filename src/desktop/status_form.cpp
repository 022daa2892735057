#include "desktop/status_form.h"

#include <QLabel>

namespace tessavo::desktop {

TStatusForm::TStatusForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                         Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
  setObjectName("StatusForm");
  setWindowTitle("Status");
  setModal(false);
  setFixedSize(414, 67);
  lblStatus_ = new QLabel(this);
  lblStatus_->setObjectName("lblStatus");
  lblStatus_->setGeometry(8, 8, 393, 49);
  lblStatus_->setWordWrap(true);
  lblStatus_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (owner) {
    QWidget* top = owner->window();
    QRect g = top->frameGeometry();
    move(g.center() - QPoint(width() / 2, height() / 2));
  }
}

void TStatusForm::setStatusMessage(const QString& text) {
  message_ = text;
  lblStatus_->setText(text);
}

}  // namespace tessavo::desktop
