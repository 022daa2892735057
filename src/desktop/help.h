// The help hook every window's help goes through. A window asks for a topic; the main window
// registers the help viewer as the handler. Until one is registered (tests, a window shown on
// its own) an information box names the topic, so a help button never does nothing.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tessavo::desktop {

// Shows help on `topic` for `parent` (the window that asks): through the registered handler,
// or, when none is registered, in an information box (through Dialogs()) naming the topic.
void ShowHelp(QWidget* parent, const QString& topic);

// Registers `handler` for every later ShowHelp; an empty function removes it again.
void SetHelpHandler(std::function<void(const QString& topic)> handler);

// The text of the information box shown when no handler is registered.
QString NoHelpText(const QString& topic);

}  // namespace tessavo::desktop
