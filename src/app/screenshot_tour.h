// A tour of the windows for screenshots: builds a small demonstration blog in a temporary
// program folder and saves PNG pictures of the main window's six pages, the entry editor,
// the category list, the backup dialog and the status window into `folder`.
#pragma once

#include <QString>

namespace tessavo::app {

// Returns the process exit code (0 when every picture was saved).
int RunScreenshotTour(const QString& folder);

}  // namespace tessavo::app
