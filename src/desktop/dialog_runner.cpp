#include "desktop/dialog_runner.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QUrl>

#include "desktop/look.h"

namespace tessavo::desktop {
namespace {

DialogRunner*& Current() {
  static DialogRunner* runner = nullptr;
  return runner;
}

}  // namespace

int DialogRunner::Exec(QDialog& dialog) { return dialog.exec(); }

QMessageBox::StandardButton DialogRunner::Message(QWidget* parent, QMessageBox::Icon icon,
                                                  const QString& text,
                                                  QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, "Tessavo", text, buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString DialogRunner::OpenFile(QWidget* parent, const QString& folder, const QString& filter,
                               const QString& default_suffix) {
  QFileDialog dialog(parent, QString(), folder, DialogFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(default_suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString DialogRunner::SaveFile(QWidget* parent, const QString& folder, const QString& proposed_name,
                               const QString& filter, const QString& default_suffix) {
  QFileDialog dialog(parent, QString(), folder, DialogFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(default_suffix);
  if (!proposed_name.isEmpty()) dialog.selectFile(proposed_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString DialogRunner::ChooseFolder(QWidget* parent, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
}

bool DialogRunner::ChooseFont(QWidget* parent, QFont& font) {
  bool ok = false;
  QFont chosen = QFontDialog::getFont(&ok, font, parent);
  if (ok) font = chosen;
  return ok;
}

void DialogRunner::OpenWithShell(const QString& file_or_url) {
  QUrl url = QUrl::fromUserInput(file_or_url, QString(), QUrl::AssumeLocalFile);
  if (QFileInfo::exists(file_or_url)) url = QUrl::fromLocalFile(file_or_url);
  QDesktopServices::openUrl(url);
}

DialogRunner& Dialogs() {
  static DialogRunner fallback;
  return Current() ? *Current() : fallback;
}

void SetDialogRunner(DialogRunner* runner) { Current() = runner; }

}  // namespace tessavo::desktop
