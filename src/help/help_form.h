// THelpForm: the modeless "Help Topics" window. The contents list on the left (drawn by the
// window: light yellow, the selected entry yellow and bold, book titles always bold, indents
// and a small picture per level), the selected topic on the right, and a top bar with the
// program's current background, "Print" and "Close Help". Escape closes it too; it deletes
// itself when closed.
//
// ShowHelpTopic keeps at most one such window: it closes the open one, creates a new one and
// shows it at the topic.
#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "help/contents.h"

class QListWidget;
class QPushButton;
class QTextBrowser;

namespace tessavo::help {

// The contents and topics built into the program.
HelpSource BuiltInHelp();

class THelpForm : public QWidget {
  Q_OBJECT
 public:
  // Reads the contents of `source`, selects entry 0 and shows its topic.
  explicit THelpForm(HelpSource source, QWidget* parent = nullptr);

  // Selects the entry named `topic` (exact name, last match wins; an unknown name keeps the
  // selection) and shows the selected entry's topic.
  void SelectTopic(const QString& topic);
  // The selected entry's index, -1 when the contents are empty.
  int SelectedIndex() const;
  const std::vector<ContentsEntry>& entries() const { return entries_; }

  QWidget* pnlTop;
  QPushButton* btnPrint;
  QPushButton* btnCloseHelp;
  QListWidget* lbContents;
  QTextBrowser* reTopic;

 public slots:
  void btnPrintClick();
  void btnCloseHelpClick();
  // Shows the topic of the selected entry (as a click on it does).
  void lbContentsClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildWindow();
  void FillContents();
  void ShowPage(const TopicPage& page);
  void FollowLink(const QUrl& url);

  HelpSource source_;
  std::vector<ContentsEntry> entries_;
};

// Closes the window `current` points to (if any), lets pending events run, creates a new
// window at `topic` and shows it modeless. The window belongs to the modal dialog that is
// open, so that it can be used beside it, else to `owner`.
void ShowHelpTopic(QPointer<THelpForm>& current, QWidget* owner, const QString& topic,
                   HelpSource source = BuiltInHelp());

}  // namespace tessavo::help
