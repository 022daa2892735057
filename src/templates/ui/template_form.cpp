#include "templates/ui/template_form.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "desktop/desktop_host.h"
#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/look.h"
#include "util/error.h"
#include "util/program_folder.h"
#include "util/web_address.h"

namespace tessavo::templates {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TOptTemplateForm::TOptTemplateForm(QWidget* parent)
    : QDialog(parent), host_(std::make_unique<desktop::DesktopHost>(this)) {
  setObjectName("OptTemplateForm");
  if (parent) setFont(parent->window()->font());
  setWindowTitle("Template Options");

  pnlTop = new desktop::TopBar(this);
  btnHelp = new QPushButton("Help", pnlTop);
  btnCancel = new QPushButton("Cancel", pnlTop);
  btnSave = new QPushButton("Save", pnlTop);
  btnHelp->setObjectName("btnHelp");
  btnCancel->setObjectName("btnCancel");
  btnSave->setObjectName("btnSave");
  lblTitle = desktop::LayOutTitlePanel(pnlTop, "Template Options", {btnHelp, btnCancel, btnSave});

  edCurrentTemplate = new QLineEdit(this);
  edCurrentTemplate->setObjectName("edCurrentTemplate");
  edCurrentTemplate->setReadOnly(true);
  cbTemplateList = new QComboBox(this);
  cbTemplateList->setObjectName("cbTemplateList");
  cbTemplateList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbTemplateList->setMinimumContentsLength(30);
  memTemplateDesc = new QPlainTextEdit(this);
  memTemplateDesc->setObjectName("memTemplateDesc");
  memTemplateDesc->setReadOnly(true);
  btnAddNewTemplates = new QPushButton("Add New Templates", this);
  btnAddNewTemplates->setObjectName("btnAddNewTemplates");
  btnAddNewTemplates->setAutoDefault(false);
  btnVendorSite = new QPushButton("Find more Templates on the Tessavo Web Site", this);
  btnVendorSite->setObjectName("btnVendorSite");
  btnVendorSite->setAutoDefault(false);

  auto* grid = new QGridLayout;
  grid->setContentsMargins(12, 10, 12, 12);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(6);
  auto label = [this](const char* text, QWidget* buddy) {
    auto* l = new QLabel(text, this);
    l->setBuddy(buddy);
    return l;
  };
  grid->addWidget(label("Current Template", edCurrentTemplate), 0, 0);
  grid->addWidget(edCurrentTemplate, 0, 1);
  grid->addWidget(label("Select a different Template", cbTemplateList), 1, 0);
  grid->addWidget(cbTemplateList, 1, 1);
  grid->addWidget(label("Description", memTemplateDesc), 2, 0, Qt::AlignLeft | Qt::AlignTop);
  grid->addWidget(memTemplateDesc, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnAddNewTemplates);
  buttons->addWidget(btnVendorSite);
  buttons->addStretch();
  grid->addLayout(buttons, 3, 1);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlTop);
  layout->addLayout(grid, 1);
  resize(600, 400);

  connect(btnSave, &QPushButton::clicked, this, &TOptTemplateForm::btnSaveClick);
  connect(btnCancel, &QPushButton::clicked, this, &TOptTemplateForm::btnCancelClick);
  connect(btnHelp, &QPushButton::clicked, this, &TOptTemplateForm::btnHelpClick);
  connect(btnAddNewTemplates, &QPushButton::clicked, this,
          &TOptTemplateForm::btnAddNewTemplatesClick);
  connect(btnVendorSite, &QPushButton::clicked, this, &TOptTemplateForm::btnVendorSiteClick);
  connect(cbTemplateList, &QComboBox::currentIndexChanged, this,
          &TOptTemplateForm::cbTemplateListChange);

  chooser_.Scan(ProgramFolder(), *host_);
  ShowList(0);
}

TOptTemplateForm::~TOptTemplateForm() = default;

void TOptTemplateForm::ShowList(int select_slot) {
  QSignalBlocker quiet(cbTemplateList);
  cbTemplateList->clear();
  for (const auto& item : chooser_.items()) cbTemplateList->addItem(Q(item.name), item.slot);
  cbTemplateList->setCurrentIndex(select_slot > 0 ? cbTemplateList->findData(select_slot) : -1);
}

void TOptTemplateForm::setOptionsRec(const BlogOptionsRec& options) {
  options_ = options;
  const std::string& current = options.Text(opt::kTemplateFile);
  edCurrentTemplate->setText(Q(current));
  memTemplateDesc->clear();
  const int at = chooser_.Find(current);
  ShowList(at >= 0 ? chooser_.items()[size_t(at)].slot : 0);
  if (at >= 0) cbTemplateListChange(cbTemplateList->currentIndex());
}

BlogOptionsRec TOptTemplateForm::OptionsRec() const {
  BlogOptionsRec r = options_;
  const int at = cbTemplateList->currentIndex();
  r.SetText(opt::kTemplateFile,
            at >= 0 ? cbTemplateList->itemText(at).toStdString() : std::string());
  return r;
}

void TOptTemplateForm::cbTemplateListChange(int index) {
  if (index < 0) return;
  memTemplateDesc->setPlainText(Q(chooser_.Description(cbTemplateList->itemData(index).toInt())));
}

void TOptTemplateForm::btnSaveClick() {
  result_ = 1;
  accept();
}

void TOptTemplateForm::btnCancelClick() {
  result_ = 0;
  reject();
}

void TOptTemplateForm::btnHelpClick() { desktop::ShowHelp(this, "OptionsTemplate"); }

void TOptTemplateForm::btnAddNewTemplatesClick() {
  QString file = desktop::Dialogs().OpenFile(this, QDir::homePath(),
                                             "Tessavo Templates|*.tem|All Files|*.*", "tem");
  if (file.isEmpty()) return;
  // The entry selected stays selected; the new one is not.
  const int selected = cbTemplateList->currentIndex();
  const int slot = selected >= 0 ? cbTemplateList->itemData(selected).toInt() : 0;
  try {
    if (chooser_.Import(file.toStdString(), ProgramFolder(), *host_) < 0) return;
  } catch (const Error& e) {
    host_->ShowError(e.what());
    return;
  }
  ShowList(slot);
}

void TOptTemplateForm::btnVendorSiteClick() {
  desktop::Dialogs().OpenWithShell(QString::fromStdString(TemplatesWebPage()));
}

bool RunTemplateOptionsDialog(QWidget* parent, BlogOptionsRec& options) {
  TOptTemplateForm form(parent);
  form.setOptionsRec(options);
  desktop::Dialogs().Exec(form);
  if (form.Result() != 1) return false;
  options = form.OptionsRec();
  return true;
}

}  // namespace tessavo::templates
