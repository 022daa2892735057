// ScriptedDialogs: a DialogRunner for the Qt tests. Message boxes are answered from a
// script, file dialogs return scripted paths, and modal dialogs are handed to a function
// that works them like a person would (fills fields, presses a button) instead of blocking.
#pragma once

#include <QDialog>
#include <QFont>
#include <deque>
#include <functional>
#include <vector>

#include "desktop/dialog_runner.h"

namespace tessavo::desktop::testing {

class ScriptedDialogs : public DialogRunner {
 public:
  ScriptedDialogs() { SetDialogRunner(this); }
  ~ScriptedDialogs() override { SetDialogRunner(nullptr); }

  struct Shown {
    QMessageBox::Icon icon;
    QString text;
  };
  std::vector<Shown> messages;
  std::deque<QMessageBox::StandardButton> answers;  // empty: the first button offered
  std::deque<QString> files;                        // answers of the file dialogs
  std::vector<QString> filters;                     // filters the file dialogs were given
  std::vector<QString> opened;                      // items handed to the shell
  std::function<int(QDialog&)> on_exec;             // works a modal dialog; returns its result
  std::function<bool(QFont&)> on_font;

  int Exec(QDialog& dialog) override {
    if (!on_exec) return QDialog::Rejected;
    int r = on_exec(dialog);
    return r;
  }
  QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon icon, const QString& text,
                                      QMessageBox::StandardButtons buttons) override {
    messages.push_back({icon, text});
    if (!answers.empty()) {
      auto a = answers.front();
      answers.pop_front();
      return a;
    }
    for (auto b : {QMessageBox::Ok, QMessageBox::Yes}) {
      if (buttons & b) return b;
    }
    return QMessageBox::NoButton;
  }
  QString Next(const QString& filter) {
    filters.push_back(filter);
    if (files.empty()) return {};
    QString f = files.front();
    files.pop_front();
    return f;
  }
  QString OpenFile(QWidget*, const QString&, const QString& filter, const QString&) override {
    return Next(filter);
  }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString& filter,
                   const QString&) override {
    return Next(filter);
  }
  QString ChooseFolder(QWidget*, const QString&) override { return Next("folder"); }
  bool ChooseFont(QWidget*, QFont& font) override { return on_font ? on_font(font) : false; }
  void OpenWithShell(const QString& item) override { opened.push_back(item); }
};

}  // namespace tessavo::desktop::testing
