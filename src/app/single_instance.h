// The single-instance guard: one copy of the program runs at a time per program name.
//
// TbtSharedMem is a named block of POSIX shared memory. TbtOnlyOne creates (or opens) a
// 4-byte block named after the program file's name and claims it for this process in one
// atomic step. A later start finds the first copy's process id there, asks the first copy
// (through a local socket named after the block and that id) to bring its window to the
// front, and reports that it must end. A block whose owner is gone is claimed afresh, so a
// copy that crashed never locks the program out. A copy of the program under another file
// name uses another block and runs beside the first.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class QLocalServer;
class QWidget;

namespace tessavo::app {

class TbtSharedMem {
 public:
  // Creates the named block of `size` bytes with read-write access, or opens it when
  // another process created it, and maps all of it. Throws Error
  // "Error creating shared memory <name> (<errno>)" when either step fails.
  TbtSharedMem(const std::string& name, uint32_t size);
  ~TbtSharedMem();
  TbtSharedMem(const TbtSharedMem&) = delete;
  TbtSharedMem& operator=(const TbtSharedMem&) = delete;

  const std::string& name() const { return name_; }
  uint32_t size() const { return size_; }
  void* buffer() const { return buffer_; }
  // Removes the name from the system (the block lives on while it is mapped).
  void Unlink();

 private:
  int handle_ = -1;
  std::string name_;
  uint32_t size_ = 0;
  void* buffer_ = nullptr;
};

class TbtOnlyOne : public QObject {
  Q_OBJECT
 public:
  // Runs the check for the program named `title` (the program file's name without folder
  // and extension). `window` is the window a later start brings to the front.
  TbtOnlyOne(QWidget* window, const QString& title);
  ~TbtOnlyOne() override;

  // True when another copy runs: it has been asked to show its window and this copy ends.
  bool another_copy_runs() const { return another_copy_runs_; }
  // The shared-memory name used for `title`.
  static std::string BlockName(const QString& title);

 private:
  void Raise();
  QWidget* window_;
  std::unique_ptr<TbtSharedMem> block_;
  QLocalServer* server_ = nullptr;
  bool another_copy_runs_ = false;
  bool owner_ = false;
};

}  // namespace tessavo::app
