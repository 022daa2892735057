#include "options/option_forms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

#include "desktop/dialog_runner.h"
#include "desktop/help.h"
#include "desktop/look.h"
#include "util/program_folder.h"

namespace tessavo::options {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QLabel* Heading(const std::string& text, QWidget* parent) {
  auto* label = new QLabel(Q(text), parent);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  return label;
}

}  // namespace

TOptionsDialog::TOptionsDialog(const QString& caption, const QString& title,
                               const QString& help_topic,
                               const std::vector<OptionControl>& controls, QWidget* parent)
    : QDialog(parent), controls_(controls), help_topic_(help_topic) {
  // A dialog takes the font of the window that opens it (the captions font).
  if (parent) setFont(parent->window()->font());
  setWindowTitle(caption);
  BuildTitlePanel(title);
  sbOptions = new QScrollArea(this);
  sbOptions->setObjectName("sbOptions");
  sbOptions->setWidgetResizable(true);
  sbOptions->setWidget(BuildControls());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlTop);
  layout->addWidget(sbOptions, 1);
  resize(600, 520);
}

void TOptionsDialog::BuildTitlePanel(const QString& title) {
  pnlTop = new desktop::TopBar(this);
  btnHelp = new QPushButton("Help", pnlTop);
  btnCancel = new QPushButton("Cancel", pnlTop);
  btnSave = new QPushButton("Save", pnlTop);
  btnHelp->setObjectName("btnHelp");
  btnCancel->setObjectName("btnCancel");
  btnSave->setObjectName("btnSave");
  lblTitle = desktop::LayOutTitlePanel(pnlTop, title, {btnHelp, btnCancel, btnSave});
  connect(btnSave, &QPushButton::clicked, this, &TOptionsDialog::btnSaveClick);
  connect(btnCancel, &QPushButton::clicked, this, &TOptionsDialog::btnCancelClick);
  connect(btnHelp, &QPushButton::clicked, this, &TOptionsDialog::btnHelpClick);
}

// The controls in the table's order, two columns: the label, then the control; a heading
// spans both, a check box and a note sit in the second.
QWidget* TOptionsDialog::BuildControls() {
  auto* area = new QWidget;
  auto* grid = new QGridLayout(area);
  grid->setContentsMargins(12, 10, 12, 12);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(6);
  grid->setColumnStretch(1, 1);
  int row = 0;
  for (const OptionControl& c : controls_) {
    if (!c.heading.empty()) {
      grid->addWidget(Heading(c.heading, area), row++, 0, 1, 2);
    }
    QWidget* widget = nullptr;
    QWidget* field = nullptr;  // what goes into the second column
    switch (c.type) {
      case ControlType::kLineEdit:
      case ControlType::kPassword: {
        auto* edit = new QLineEdit(area);
        edit->setMaxLength(c.max_length > 0 ? c.max_length : INT_MAX);
        if (c.type == ControlType::kPassword) {
          edit->setEchoMode(QLineEdit::Password);
          edit->setStyleSheet("lineedit-password-character: 42");  // "*"
        }
        widget = field = edit;
        break;
      }
      case ControlType::kMemo: {
        auto* memo = new QPlainTextEdit(area);
        memo->setTabChangesFocus(true);
        memo->setMinimumHeight(110);
        widget = field = memo;
        break;
      }
      case ControlType::kComboBox: {
        auto* combo = new QComboBox(area);
        for (const std::string& item : c.items) combo->addItem(Q(item));
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        widget = combo;
        field = new QWidget(area);
        auto* h = new QHBoxLayout(field);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(combo);
        h->addStretch();
        break;
      }
      case ControlType::kCheckBox:
        widget = field = new QCheckBox(Q(c.caption), area);
        break;
      case ControlType::kNumber: {
        auto* spin = new QSpinBox(area);
        spin->setRange(0, INT_MAX);
        spin->setMinimumWidth(110);
        widget = spin;
        field = new QWidget(area);
        auto* h = new QHBoxLayout(field);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(spin);
        h->addStretch();
        break;
      }
      case ControlType::kFolder: {
        auto* label = new QLabel(area);
        label->setTextFormat(Qt::PlainText);
        label->setFrameShape(QFrame::StyledPanel);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setMinimumHeight(24);
        widget = label;
        field = new QWidget(area);
        auto* h = new QHBoxLayout(field);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(label, 1);
        if (!c.button_name.empty()) {
          auto* button = new QPushButton(Q(c.button_caption), field);
          button->setObjectName(Q(c.button_name));
          button->setAutoDefault(false);
          h->addWidget(button);
          const std::string name = c.name;
          connect(button, &QPushButton::clicked, this, [this, name] { ChooseFolderClick(name); });
        }
        break;
      }
    }
    widget->setObjectName(Q(c.name));
    widgets_[c.name] = widget;
    if (c.type != ControlType::kCheckBox) {
      auto* label = new QLabel(Q(c.caption), area);
      label->setBuddy(widget);
      const Qt::Alignment top = c.type == ControlType::kMemo ? Qt::AlignTop : Qt::AlignVCenter;
      grid->addWidget(label, row, 0, Qt::AlignLeft | top);
    }
    grid->addWidget(field, row++, 1);
    if (!c.note.empty()) {
      auto* note = new QLabel(Q(c.note), area);
      note->setObjectName(Q(c.name + "Note"));
      grid->addWidget(note, row++, 1);
    }
  }
  grid->setRowStretch(row, 1);
  return area;
}

QWidget* TOptionsDialog::Control(const std::string& name) const {
  auto it = widgets_.find(name);
  return it == widgets_.end() ? nullptr : it->second;
}

ControlState TOptionsDialog::StateOf(const OptionControl& c) const {
  ControlState s;
  QWidget* w = Control(c.name);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) s.text = edit->text().toStdString();
  if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) s.text = memo->toPlainText().toStdString();
  if (auto* label = qobject_cast<QLabel*>(w)) s.text = label->text().toStdString();
  if (auto* combo = qobject_cast<QComboBox*>(w)) s.item = combo->currentIndex();
  if (auto* check = qobject_cast<QCheckBox*>(w)) s.checked = check->isChecked();
  if (auto* spin = qobject_cast<QSpinBox*>(w)) s.text = std::to_string(spin->value());
  return s;
}

void TOptionsDialog::ShowState(const OptionControl& c, const ControlState& s) {
  QWidget* w = Control(c.name);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(Q(s.text));
  if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) memo->setPlainText(Q(s.text));
  if (auto* label = qobject_cast<QLabel*>(w)) label->setText(Q(s.text));
  if (auto* combo = qobject_cast<QComboBox*>(w)) combo->setCurrentIndex(s.item);
  if (auto* check = qobject_cast<QCheckBox*>(w)) check->setChecked(s.checked);
  if (auto* spin = qobject_cast<QSpinBox*>(w))
    spin->setValue(QString::fromStdString(s.text).toInt());
}

void TOptionsDialog::setOptionsRec(const BlogOptionsRec& options) {
  given_ = options;
  for (const OptionControl& c : controls_) ShowState(c, ShownState(c, options));
}

BlogOptionsRec TOptionsDialog::OptionsRec() const {
  BlogOptionsRec r = given_;
  for (const OptionControl& c : controls_) StoreState(c, StateOf(c), given_, r);
  return r;
}

void TOptionsDialog::btnSaveClick() {
  result_ = 1;
  accept();
}

void TOptionsDialog::btnCancelClick() {
  result_ = 0;
  reject();
}

void TOptionsDialog::btnHelpClick() { desktop::ShowHelp(this, help_topic_); }

void TOptionsDialog::ChooseFolderClick(const std::string& name) {
  auto* label = qobject_cast<QLabel*>(Control(name));
  if (!label) return;
  std::string start = FolderPickerStart(label->text().toStdString(), ProgramFolder().string());
  QString chosen = desktop::Dialogs().ChooseFolder(this, Q(start));
  if (!chosen.isEmpty()) label->setText(QDir::toNativeSeparators(chosen));
}

// --- The five dialogs ------------------------------------------------------------------------

TOptBasicForm::TOptBasicForm(QWidget* parent)
    : TOptionsDialog("Basic Options", "Basic Options", "OptionsBasic", BasicOptionsControls(),
                     parent) {
  setObjectName("OptBasicForm");
  edBlogTitle = Named<QLineEdit>("edBlogTitle");
  edBlogURL = Named<QLineEdit>("edBlogURL");
  cbBlogIndexEntries = Named<QComboBox>("cbBlogIndexEntries");
  cbBlogPagePer = Named<QComboBox>("cbBlogPagePer");
  cbCategory = Named<QComboBox>("cbCategory");
  cbBlogEntryDateFormat = Named<QComboBox>("cbBlogEntryDateFormat");
  memBlogAbout = Named<QPlainTextEdit>("memBlogAbout");
}

TOptAdvancedForm::TOptAdvancedForm(QWidget* parent)
    : TOptionsDialog("Advanced Options", "Advanced Options", "OptionsAdvanced",
                     AdvancedOptionsControls(), parent) {
  setObjectName("OptAdvancedForm");
  cbHTMLFormatting = Named<QComboBox>("cbHTMLFormatting");
  edBlogIndexName = Named<QLineEdit>("edBlogIndexName");
  edBlogIndexCaption = Named<QLineEdit>("edBlogIndexCaption");
  edBlogIndexByMonthName = Named<QLineEdit>("edBlogIndexByMonthName");
  edBlogByMonthCaption = Named<QLineEdit>("edBlogByMonthCaption");
  edBlogIndexArticleName = Named<QLineEdit>("edBlogIndexArticleName");
  edBlogArticleCaption = Named<QLineEdit>("edBlogArticleCaption");
  cbArticleIndexNavBar = Named<QCheckBox>("cbArticleIndexNavBar");
  cbShowArticlesByMonth = Named<QCheckBox>("cbShowArticlesByMonth");
  cbIncludeArticleTeasers = Named<QCheckBox>("cbIncludeArticleTeasers");
  edBlogReadThisArticleCaption = Named<QLineEdit>("edBlogReadThisArticleCaption");
  cbBlogHTMLextension = Named<QComboBox>("cbBlogHTMLextension");
  edBlogCoolLinkCaption = Named<QLineEdit>("edBlogCoolLinkCaption");
  edBlogParentSiteCaption = Named<QLineEdit>("edBlogParentSiteCaption");
  edBlogParentSiteURL = Named<QLineEdit>("edBlogParentSiteURL");
  edBlogTitleArchiveByMonth = Named<QLineEdit>("edBlogTitleArchiveByMonth");
  edBlogTitleDailyEntries = Named<QLineEdit>("edBlogTitleDailyEntries");
  edBlogTitleWeeklyEntries = Named<QLineEdit>("edBlogTitleWeeklyEntries");
  edBlogTitleArticleIndex = Named<QLineEdit>("edBlogTitleArticleIndex");
  edBlogIndexCategoryName = Named<QLineEdit>("edBlogIndexCategoryName");
  edBlogCategoryCaption = Named<QLineEdit>("edBlogCategoryCaption");
  edBlogTitleCategoryIndex = Named<QLineEdit>("edBlogTitleCategoryIndex");
  cbCategoryIndexNavBar = Named<QCheckBox>("cbCategoryIndexNavBar");
  cbIncludeCategoryTeasers = Named<QCheckBox>("cbIncludeCategoryTeasers");
  cbIncludeMetaDescOnArchivePages = Named<QCheckBox>("cbIncludeMetaDescOnArchivePages");
  edPageNamePrefix = Named<QLineEdit>("edPageNamePrefix");
  edBlogRecentEntriesName = Named<QLineEdit>("edBlogRecentEntriesName");
  edBlogRecentEntriesCaption = Named<QLineEdit>("edBlogRecentEntriesCaption");
  edBlogTitleRecentEntries = Named<QLineEdit>("edBlogTitleRecentEntries");
  cbBlogRecentEntriesOnHomePage = Named<QCheckBox>("cbBlogRecentEntriesOnHomePage");
  cbBlogRecentEntriesPageNavbar = Named<QCheckBox>("cbBlogRecentEntriesPageNavbar");
  cbArticleListStyle = Named<QComboBox>("cbArticleListStyle");
  cbCategoryListStyle = Named<QComboBox>("cbCategoryListStyle");
}

TOptRSSForm::TOptRSSForm(QWidget* parent)
    : TOptionsDialog("RSS Options", "RSS Options", "OptionsRSS", RssOptionsControls(), parent) {
  setObjectName("OptRSSForm");
  edRssChannelTitle = Named<QLineEdit>("edRssChannelTitle");
  edRSSChannelDesc = Named<QLineEdit>("edRSSChannelDesc");
  memRssDescription = Named<QPlainTextEdit>("memRssDescription");
  edRss091Page = Named<QLineEdit>("edRss091Page");
  edRss20Page = Named<QLineEdit>("edRss20Page");
  cbBlogRSSItemText = Named<QComboBox>("cbBlogRSSItemText");
  cbBlogRSSNumberOfItems = Named<QComboBox>("cbBlogRSSNumberOfItems");
  cbBlogRSSSuppress091 = Named<QCheckBox>("cbBlogRSSSuppress091");
}

TOptFTPForm::TOptFTPForm(QWidget* parent)
    : TOptionsDialog("FTP Options", "FTP Options", "OptionsFTP", FtpOptionsControls(), parent) {
  setObjectName("OptFTPForm");
  cbBlogPublishingLocation = Named<QComboBox>("cbBlogPublishingLocation");
  edFTPHost = Named<QLineEdit>("edFTPHost");
  edFTPPort = Named<QLineEdit>("edFTPPort");
  edFTPDirectory = Named<QLineEdit>("edFTPDirectory");
  edFTPUserid = Named<QLineEdit>("edFTPUserid");
  edFTPPassword = Named<QLineEdit>("edFTPPassword");
  cbPassiveMode = Named<QCheckBox>("cbPassiveMode");
  cbShowResponses = Named<QCheckBox>("cbShowResponses");
  lblBlogFileCopyTargetDirectory = Named<QLabel>("lblBlogFileCopyTargetDirectory");
  btnSetFileDestination = findChild<QPushButton*>("btnSetFileDestination");
}

TOptCustomVariables::TOptCustomVariables(QWidget* parent)
    : TOptionsDialog("Custom Variables", "Custom Variables", "OptionsCustomVariables",
                     CustomVariablesControls(), parent) {
  setObjectName("OptCustomVariables");
  edDefaultKeywordsMetaTag = Named<QLineEdit>("edDefaultKeywordsMetaTag");
  edDefaultDescriptionMetaTag = Named<QLineEdit>("edDefaultDescriptionMetaTag");
  for (int n = 1; n <= 10; ++n) {
    edCustomTag[n - 1] = Named<QLineEdit>(("edCustomTag" + std::to_string(n)).c_str());
  }
}

TOptExtrasForm::TOptExtrasForm(QWidget* parent)
    : TOptionsDialog("Extras", "Extras", "OptionsExtras", ExtrasControls(), parent) {
  setObjectName("OptExtrasForm");
}

// --- Running them ----------------------------------------------------------------------------

namespace {

template <class Form>
bool RunForm(QWidget* parent, BlogOptionsRec& options) {
  Form form(parent);
  form.setOptionsRec(options);
  desktop::Dialogs().Exec(form);
  if (form.Result() != 1) return false;
  options = form.OptionsRec();
  return true;
}

}  // namespace

bool RunBasicOptionsDialog(QWidget* parent, BlogOptionsRec& options) {
  return RunForm<TOptBasicForm>(parent, options);
}
bool RunAdvancedOptionsDialog(QWidget* parent, BlogOptionsRec& options) {
  return RunForm<TOptAdvancedForm>(parent, options);
}
bool RunRSSOptionsDialog(QWidget* parent, BlogOptionsRec& options) {
  return RunForm<TOptRSSForm>(parent, options);
}
bool RunFTPOptionsDialog(QWidget* parent, BlogOptionsRec& options) {
  return RunForm<TOptFTPForm>(parent, options);
}
bool RunCustomVariablesDialog(QWidget* parent, BlogOptionsRec& options) {
  return RunForm<TOptCustomVariables>(parent, options);
}
bool RunExtrasDialog(QWidget* parent, BlogOptionsRec& options) {
  return RunForm<TOptExtrasForm>(parent, options);
}

}  // namespace tessavo::options
