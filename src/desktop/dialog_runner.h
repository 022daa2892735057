// DialogRunner: every modal dialog and message box of the desktop program runs through it.
// The program uses the default runner; tests install one that answers without blocking.
#pragma once

#include <QMessageBox>
#include <QString>

class QDialog;
class QFont;
class QWidget;

namespace tessavo::desktop {

class DialogRunner {
 public:
  virtual ~DialogRunner() = default;

  // Shows `dialog` modally and returns its result.
  virtual int Exec(QDialog& dialog);
  // A message box with the given buttons; returns the button pressed.
  virtual QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon,
                                              const QString& text,
                                              QMessageBox::StandardButtons buttons);
  // File dialogs; `filter` is written "Caption|*.a;*.b|...". Empty when cancelled.
  virtual QString OpenFile(QWidget* parent, const QString& folder, const QString& filter,
                           const QString& default_suffix);
  virtual QString SaveFile(QWidget* parent, const QString& folder, const QString& proposed_name,
                           const QString& filter, const QString& default_suffix);
  // A folder chooser that allows creating a folder. Empty when cancelled.
  virtual QString ChooseFolder(QWidget* parent, const QString& start);
  // A font dialog preset with `font`; true with `font` changed on OK.
  virtual bool ChooseFont(QWidget* parent, QFont& font);
  // Hands a file or URL to the system's default program.
  virtual void OpenWithShell(const QString& file_or_url);
};

// The runner in use (the default one unless SetDialogRunner installed another).
DialogRunner& Dialogs();
// Installs `runner` (not owned); nullptr restores the default.
void SetDialogRunner(DialogRunner* runner);

}  // namespace tessavo::desktop
