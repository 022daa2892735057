// The shared look of the desktop windows: the background bitmap tiled behind the top bars
// of the main window and the dialogs, and the top bar widget that shows it.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <initializer_list>

class QLabel;
class QPushButton;

namespace tessavo::desktop {

// Loads the bitmap "Back0", "Back1" or "Back2" into the shared bitmap (any other value loads
// "Back0") and repaints every top bar.
void SetSharedBackground(int background);
// The shared bitmap (Back0 until SetSharedBackground runs).
const QPixmap& SharedBackground();

// A bar across the top of a window with the shared bitmap tiled behind its children.
class TopBar : public QWidget {
  Q_OBJECT
 public:
  explicit TopBar(QWidget* parent = nullptr);

 signals:
  void rightClicked(const QPoint& global_pos);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
};

// Lays `panel` out as a dialog's title panel: `title` in large bold white type on the left
// (a label named "lblTitle", returned), then `buttons` on the right. The buttons never take
// Enter from a text field of the dialog.
QLabel* LayOutTitlePanel(TopBar* panel, const QString& title,
                         std::initializer_list<QPushButton*> buttons);

// Turns a filter written "Caption|*.a;*.b|Caption|*.*" into the form file dialogs take.
QString DialogFilter(const QString& pipe_filter);

}  // namespace tessavo::desktop
