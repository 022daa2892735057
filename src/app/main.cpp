// The desktop program: tessavo [--screenshot-tour DIR]
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>

#include "app/main_window.h"
#include "app/screenshot_tour.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Tessavo");

  QCommandLineParser parser;
  QCommandLineOption tour("screenshot-tour", "", "DIR");
  tour.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(tour);
  parser.addHelpOption();
  parser.process(application);

  // The guard's block is named after the program file's name without folder and extension.
  QString title = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  try {
    if (parser.isSet(tour)) return tessavo::app::RunScreenshotTour(parser.value(tour));
    tessavo::app::TtheMainForm window(true, title);
    if (window.another_copy_runs()) return 0;
    window.ShowAsSaved();
    return QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Tessavo", QString::fromStdString(e.what()));
    return 1;
  }
}
