#include "app/wizard_dialogs.h"

namespace tessavo::app {

bool DesktopWizardDialogs::RunBasicOptionsDialog(BlogOptionsRec&) { return false; }
bool DesktopWizardDialogs::RunTemplateOptionsDialog(BlogOptionsRec&) { return false; }

}  // namespace tessavo::app
