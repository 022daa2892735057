// The option dialogs the start-up wizard opens when the main window starts a new blog:
// Basic Options (question 4) and Template Options (question 5), over the main window.
#pragma once

#include "store/wizard_dialogs.h"

class QWidget;

namespace tessavo::app {

class DesktopWizardDialogs : public WizardDialogs {
 public:
  explicit DesktopWizardDialogs(QWidget* parent) : parent_(parent) {}

  bool RunBasicOptionsDialog(BlogOptionsRec& rec) override;
  bool RunTemplateOptionsDialog(BlogOptionsRec& rec) override;

 private:
  QWidget* parent_;
};

}  // namespace tessavo::app
