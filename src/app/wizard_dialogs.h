// The option dialogs the start-up wizard opens when the main window starts a new blog.
#pragma once

#include "store/wizard_dialogs.h"

namespace tessavo::app {

// The desktop has no Basic Options or Template Options dialog yet: both end as with
// Cancel and leave the options as they are.
class DesktopWizardDialogs : public WizardDialogs {
 public:
  bool RunBasicOptionsDialog(BlogOptionsRec& rec) override;
  bool RunTemplateOptionsDialog(BlogOptionsRec& rec) override;
};

}  // namespace tessavo::app
