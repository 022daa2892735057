// The one way a window asks for help: ShowHelp(parent, topic) hands the topic name to the
// handler the main window registered, which opens the help viewer at that topic. Without a
// handler (a window shown on its own, as in tests) the call does nothing.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tessavo::desktop {

// Registers the function that shows a help topic; an empty function removes it.
void SetHelpHandler(std::function<void(const QString&)> handler);

// Shows the help topic named `topic` (exact, case-sensitive name of the help contents).
void ShowHelp(QWidget* parent, const QString& topic);

}  // namespace tessavo::desktop
