#include "help/help_form.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "desktop/dialog_runner.h"
#include "desktop/look.h"

static void InitHelpResources() { Q_INIT_RESOURCE(tessavo_help); }

namespace tessavo::help {
namespace {

constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kItemHeight = 20;
const QColor kLightYellow(255, 255, 208);
const QColor kYellow(255, 255, 0);

std::optional<std::string> ReadResource(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray bytes = file.readAll();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

int TextIndent(int level) {
  switch (level) {
    case 1:
      return 24;
    case 2:
      return 32;
    case 3:
      return 40;
    default:
      return 4;
  }
}

// The level pictures of the contents list, drawn transparent.
const QPixmap* LevelPicture(int level) {
  static const QPixmap folder(":/help/IFOLDER");
  static const QPixmap page(":/help/IPAGE");
  static const QPixmap subtopic(":/help/ISUBTOPIC");
  switch (level) {
    case 1:
      return &folder;
    case 2:
      return &page;
    case 3:
      return &subtopic;
    default:
      return nullptr;
  }
}

int PictureLeft(int level) { return level == 1 ? 6 : level == 2 ? 14 : 22; }

// Draws one entry of the contents list.
class ContentsDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const int level = index.data(kLevelRole).toInt();
    painter->save();
    painter->fillRect(r, selected ? kYellow : kLightYellow);
    if (const QPixmap* picture = LevelPicture(level)) {
      painter->drawPixmap(r.left() + PictureLeft(level), r.top() + 2, *picture);
    }
    QFont font = option.font;
    font.setBold(selected || level == 0);
    painter->setFont(font);
    painter->setPen(Qt::black);
    const int indent = TextIndent(level);
    QRect text_rect(r.left() + indent, r.top() + 4, r.width() - indent, r.height() - 4);
    painter->drawText(text_rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight);
  }
};

}  // namespace

HelpSource BuiltInHelp() {
  InitHelpResources();
  HelpSource source;
  source.contents = ReadResource(":/help/CONTENTS").value_or(std::string());
  source.read = [](const std::string& name) {
    return ReadResource(":/help/" + QString::fromStdString(name));
  };
  return source;
}

THelpForm::THelpForm(HelpSource source, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)) {
  InitHelpResources();
  setObjectName("HelpForm");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Help Topics");
  setMinimumSize(480, 360);
  setMaximumSize(1200, 800);
  resize(780, 540);
  BuildWindow();
  FillContents();
}

void THelpForm::BuildWindow() {
  pnlTop = new desktop::TopBar(this);
  auto* title = new QLabel("Tessavo Help", pnlTop);
  QFont tf = title->font();
  tf.setBold(true);
  tf.setPointSize(tf.pointSize() + 4);
  title->setFont(tf);
  title->setStyleSheet("color: white;");
  title->setGeometry(12, 6, 240, 32);
  btnPrint = new QPushButton("Print", pnlTop);
  btnPrint->setObjectName("btnPrint");
  btnCloseHelp = new QPushButton("Close Help", pnlTop);
  btnCloseHelp->setObjectName("btnCloseHelp");

  lbContents = new QListWidget(this);
  lbContents->setObjectName("lbContents");
  lbContents->setItemDelegate(new ContentsDelegate(lbContents));
  lbContents->setUniformItemSizes(true);
  QPalette pal = lbContents->palette();
  pal.setColor(QPalette::Base, kLightYellow);
  lbContents->setPalette(pal);
  reTopic = new QTextBrowser(this);
  reTopic->setObjectName("reTopic");
  reTopic->setOpenLinks(false);

  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(lbContents);
  split->addWidget(reTopic);
  split->setStretchFactor(1, 1);
  split->setSizes({250, 530});
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlTop);
  layout->addWidget(split, 1);

  connect(btnPrint, &QPushButton::clicked, this, &THelpForm::btnPrintClick);
  connect(btnCloseHelp, &QPushButton::clicked, this, &THelpForm::btnCloseHelpClick);
  connect(lbContents, &QListWidget::currentRowChanged, this, &THelpForm::lbContentsClick);
  connect(lbContents, &QListWidget::itemClicked, this, &THelpForm::lbContentsClick);
  connect(reTopic, &QTextBrowser::anchorClicked, this, &THelpForm::FollowLink);
}

void THelpForm::FillContents() {
  entries_ = ParseContents(source_.contents);
  QSignalBlocker block(lbContents);
  for (const ContentsEntry& entry : entries_) {
    auto* item = new QListWidgetItem(QString::fromStdString(EntryCaption(entry)), lbContents);
    item->setData(kLevelRole, EntryLevel(entry));
  }
  if (!entries_.empty()) lbContents->setCurrentRow(0);
  lbContentsClick();
}

// Escape closes the window wherever the focus is; the list and the pane leave it to us.
void THelpForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    btnCloseHelpClick();
    return;
  }
  QWidget::keyPressEvent(event);
}

void THelpForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int w = pnlTop->width();
  btnCloseHelp->setGeometry(w - 4 - 82, 8, 82, 28);
  btnPrint->setGeometry(btnCloseHelp->x() - 86, 8, 82, 28);
}

int THelpForm::SelectedIndex() const { return lbContents->currentRow(); }

void THelpForm::SelectTopic(const QString& topic) {
  int index = FindTopic(entries_, topic.toStdString(), SelectedIndex());
  if (index >= 0) {
    QSignalBlocker block(lbContents);
    lbContents->setCurrentRow(index);
  }
  lbContentsClick();
}

void THelpForm::lbContentsClick() {
  int index = SelectedIndex();
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  ShowPage(LoadTopic(entries_[index].topic, source_.read));
}

void THelpForm::ShowPage(const TopicPage& page) {
  switch (page.kind) {
    case TopicPage::kDocument:
      reTopic->setHtml(QString::fromStdString(page.text));
      break;
    case TopicPage::kEmpty:
      reTopic->clear();
      break;
    case TopicPage::kUnavailable:
      reTopic->setPlainText(QString::fromStdString(page.text));
      break;
  }
  reTopic->moveCursor(QTextCursor::Start);
  reTopic->verticalScrollBar()->setValue(0);
}

// A link to another topic names it; anything else goes to the system's browser.
void THelpForm::FollowLink(const QUrl& url) {
  if (url.scheme().isEmpty() && !url.path().isEmpty() && !url.path().contains('.')) {
    SelectTopic(url.path());
  } else {
    desktop::Dialogs().OpenWithShell(url.toString());
  }
}

void THelpForm::btnPrintClick() {
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (desktop::Dialogs().Exec(dialog) == QDialog::Accepted) reTopic->print(&printer);
}

void THelpForm::btnCloseHelpClick() { close(); }

void ShowHelpTopic(QPointer<THelpForm>& current, QWidget* owner, const QString& topic,
                   HelpSource source) {
  if (current) {
    current->close();
    delete current.data();
  }
  QCoreApplication::processEvents();
  // A window beside a modal dialog must belong to it, or the dialog would block it.
  QWidget* modal = QApplication::activeModalWidget();
  current = new THelpForm(std::move(source), modal ? modal : owner);
  current->SelectTopic(topic);
  current->show();
  current->raise();
  current->activateWindow();
}

}  // namespace tessavo::help
