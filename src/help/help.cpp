#include "help/help.h"

namespace tessavo::desktop {
namespace {

std::function<void(const QString&)>& Handler() {
  static std::function<void(const QString&)> handler;
  return handler;
}

}  // namespace

void SetHelpHandler(std::function<void(const QString&)> handler) { Handler() = std::move(handler); }

void ShowHelp(QWidget*, const QString& topic) {
  // A copy, so that a handler that replaces itself finishes its own call.
  auto handler = Handler();
  if (handler) handler(topic);
}

}  // namespace tessavo::desktop
