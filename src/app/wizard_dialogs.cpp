#include "app/wizard_dialogs.h"

#include "options/option_forms.h"
#include "templates/ui/template_form.h"

namespace tessavo::app {

bool DesktopWizardDialogs::RunBasicOptionsDialog(BlogOptionsRec& rec) {
  return options::RunBasicOptionsDialog(parent_, rec);
}

bool DesktopWizardDialogs::RunTemplateOptionsDialog(BlogOptionsRec& rec) {
  return templates::RunTemplateOptionsDialog(parent_, rec);
}

}  // namespace tessavo::app
