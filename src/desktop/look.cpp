#include "desktop/look.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

static void InitTessavoResources() { Q_INIT_RESOURCE(tessavo); }

namespace tessavo::desktop {
namespace {

QPixmap& Bitmap() {
  static QPixmap pixmap;
  return pixmap;
}

}  // namespace

void SetSharedBackground(int background) {
  InitTessavoResources();
  QString name = (background == 1) ? "Back1" : (background == 2) ? "Back2" : "Back0";
  Bitmap().load(":/tessavo/" + name);
  for (QWidget* w : QApplication::allWidgets()) {
    if (qobject_cast<TopBar*>(w)) w->update();
  }
}

const QPixmap& SharedBackground() {
  if (Bitmap().isNull()) SetSharedBackground(0);
  return Bitmap();
}

TopBar::TopBar(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedHeight(44);
}

void TopBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawTiledPixmap(rect(), SharedBackground());
}

void TopBar::contextMenuEvent(QContextMenuEvent* event) { emit rightClicked(event->globalPos()); }

QLabel* LayOutTitlePanel(TopBar* panel, const QString& title,
                         std::initializer_list<QPushButton*> buttons) {
  auto* label = new QLabel(title, panel);
  label->setObjectName("lblTitle");
  QFont font = label->font();
  font.setBold(true);
  font.setPointSize(font.pointSize() + 4);
  label->setFont(font);
  label->setStyleSheet("color: white;");
  auto* bar = new QHBoxLayout(panel);
  bar->setContentsMargins(10, 4, 8, 4);
  bar->setSpacing(6);
  bar->addWidget(label);
  bar->addStretch();
  for (QPushButton* b : buttons) {
    b->setAutoDefault(false);
    b->setDefault(false);
    bar->addWidget(b);
  }
  return label;
}

QString DialogFilter(const QString& pipe_filter) {
  QStringList parts = pipe_filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    out << parts[i] + " (" + patterns + ")";
  }
  return out.join(";;");
}

}  // namespace tessavo::desktop
