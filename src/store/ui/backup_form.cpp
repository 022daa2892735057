#include "store/ui/backup_form.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/look.h"
#include "desktop/option_font.h"
#include "desktop/session_settings.h"
#include "util/program_folder.h"

namespace tessavo::store_ui {

TBackupBlogForm::TBackupBlogForm(const BlogOptionsRec& options,
                                 const desktop::SessionSettings* settings, QWidget* parent)
    : QDialog(parent), options_(options) {
  setObjectName("BackupBlogForm");
  setWindowTitle("Backup Blog");
  auto* top = new desktop::TopBar(this);
  auto* heading = new QLabel("Backup", top);
  QFont hf = heading->font();
  hf.setBold(true);
  hf.setPointSize(hf.pointSize() + 4);
  heading->setFont(hf);
  btnHelp = new QPushButton("Help", top);
  btnCancel = new QPushButton("Cancel", top);
  btnContinue = new QPushButton("Continue", top);
  auto* tl = new QHBoxLayout(top);
  tl->setContentsMargins(8, 4, 4, 4);
  tl->setSpacing(4);
  tl->addWidget(heading);
  tl->addStretch();
  tl->addWidget(btnHelp);
  tl->addWidget(btnCancel);
  tl->addWidget(btnContinue);

  edLocation = new QLineEdit(QString::fromStdString(options.Text(opt::kBackupLocation)), this);
  edLocation->setMinimumWidth(320);
  btnLocation = new QPushButton("...", this);
  btnLocation->setFixedWidth(28);
  cbKeep = new QComboBox(this);
  for (int i = 1; i <= 25; ++i) cbKeep->addItem(QString::number(i));
  int keep = std::clamp(options.Int(opt::kBackupsToKeep), 0, 25);
  cbKeep->setCurrentIndex(keep - 1);

  auto* g = new QGridLayout;
  g->setContentsMargins(8, 8, 8, 8);
  g->addWidget(new QLabel("Backup Location", this), 0, 0);
  g->addWidget(edLocation, 0, 1);
  g->addWidget(btnLocation, 0, 2);
  g->addWidget(new QLabel("Number of Backups to keep", this), 1, 0);
  g->addWidget(cbKeep, 1, 1, Qt::AlignLeft);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(top);
  layout->addLayout(g);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  if (settings) {
    desktop::ApplyOptionFont(
        this, desktop::FontFromString(QString::fromStdString(settings->font_form), this));
  }
  connect(btnHelp, &QPushButton::clicked, this, [this] { desktop::ShowHelp(this, "BlogsBackup"); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnContinue, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnLocation, &QPushButton::clicked, this, &TBackupBlogForm::btnLocationClick);
}

BlogOptionsRec TBackupBlogForm::OptionsRec() const {
  BlogOptionsRec r = options_;
  r.SetText(opt::kBackupLocation, edLocation->text().toStdString());
  r.SetInt(opt::kBackupsToKeep, cbKeep->currentIndex() < 0 ? 0 : cbKeep->currentIndex() + 1);
  return r;
}

void TBackupBlogForm::btnLocationClick() {
  QString start = edLocation->text();
  if (start.isEmpty() || !QDir(start).exists())
    start = QString::fromStdString(ProgramFolder().string());
  QString chosen = desktop::Dialogs().ChooseFolder(this, start);
  if (!chosen.isEmpty()) edLocation->setText(QDir::toNativeSeparators(chosen));
}

}  // namespace tessavo::store_ui
