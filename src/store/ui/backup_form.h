// TBackupBlogForm: the "Backup Blog" dialog. It edits a copy of the blog's options: the
// backup location (option 190) and the number of backups to keep (option 191, 1 to 25).
#pragma once

#include <QDialog>

#include "store/options.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tessavo::desktop {
struct SessionSettings;
}

namespace tessavo::store_ui {

class TBackupBlogForm : public QDialog {
  Q_OBJECT
 public:
  // Shows the location and selects the number to keep (clamped to 0..25; 0 selects none).
  TBackupBlogForm(const BlogOptionsRec& options, const desktop::SessionSettings* settings,
                  QWidget* parent = nullptr);

  // The options with the field's location and the selected number (0 when none).
  BlogOptionsRec OptionsRec() const;

  QLineEdit* edLocation;
  QPushButton* btnLocation;
  QComboBox* cbKeep;
  QPushButton* btnHelp;
  QPushButton* btnCancel;
  QPushButton* btnContinue;

 public slots:
  void btnLocationClick();

 private:
  BlogOptionsRec options_;
};

}  // namespace tessavo::store_ui
