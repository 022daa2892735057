#include "desktop/help.h"

#include <QMessageBox>
#include <utility>

#include "desktop/dialog_runner.h"

namespace tessavo::desktop {
namespace {

std::function<void(const QString&)>& Handler() {
  static std::function<void(const QString&)> handler;
  return handler;
}

}  // namespace

void ShowHelp(QWidget* parent, const QString& topic) {
  if (Handler()) {
    Handler()(topic);
    return;
  }
  Dialogs().Message(parent, QMessageBox::Information, NoHelpText(topic), QMessageBox::Ok);
}

void SetHelpHandler(std::function<void(const QString& topic)> handler) {
  Handler() = std::move(handler);
}

QString NoHelpText(const QString& topic) {
  return QString("There is no help viewer in this version.\n\nHelp topic: %1").arg(topic);
}

}  // namespace tessavo::desktop
