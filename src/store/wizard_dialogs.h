// WizardDialogs: the two option dialogs that the start-up wizard of a new blog opens
// (questions 4 and 5), supplied by the front end that creates the blog.
//
// The wizard's questions go through the Host like every other question; these dialogs edit
// a whole options record, which only the store knows, so they have an interface of their own
// instead of a place in the Host.
#pragma once

namespace tessavo {

struct BlogOptionsRec;

class WizardDialogs {
 public:
  virtual ~WizardDialogs() = default;

  // Each runs its dialog on `rec` (a copy of the new blog's options) and returns true when
  // the dialog ended with Save, in which case `rec` holds the changed options. A front end
  // without the dialog returns false and leaves `rec` alone.
  virtual bool RunBasicOptionsDialog(BlogOptionsRec& rec) = 0;
  virtual bool RunTemplateOptionsDialog(BlogOptionsRec& rec) = 0;
};

}  // namespace tessavo
