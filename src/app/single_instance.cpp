#include "app/single_instance.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "util/error.h"

Q_LOGGING_CATEGORY(lcGuard, "tessavo.guard", QtWarningMsg)

namespace tessavo::app {
namespace {

QString ServerName(const std::string& block, int32_t pid) {
  QString name = QString::fromStdString(block).mid(1);
  return QString("%1.%2.%3").arg(name).arg(getuid()).arg(pid);
}

std::atomic<int32_t>* Slot(const TbtSharedMem& mem) {
  static_assert(std::atomic<int32_t>::is_always_lock_free);
  return reinterpret_cast<std::atomic<int32_t>*>(mem.buffer());
}

bool ProcessAlive(int32_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

TbtSharedMem::TbtSharedMem(const std::string& name, uint32_t size) : name_(name), size_(size) {
  auto fail = [&](int code) {
    char text[512];
    std::snprintf(text, sizeof text, "Error creating shared memory %s (%d)", name_.c_str(), code);
    if (handle_ >= 0) close(handle_);
    handle_ = -1;
    throw Error(text);
  };
  handle_ = shm_open(name_.c_str(), O_CREAT | O_RDWR, S_IRUSR | S_IWUSR);
  if (handle_ < 0) fail(errno);
  struct stat st {};
  if (fstat(handle_, &st) != 0) fail(errno);
  if (st.st_size < static_cast<off_t>(size_) && ftruncate(handle_, size_) != 0) fail(errno);
  void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, handle_, 0);
  if (p == MAP_FAILED) fail(errno);
  buffer_ = p;
}

TbtSharedMem::~TbtSharedMem() {
  if (buffer_) munmap(buffer_, size_);
  if (handle_ >= 0) close(handle_);
}

void TbtSharedMem::Unlink() { shm_unlink(name_.c_str()); }

std::string TbtOnlyOne::BlockName(const QString& title) {
  std::string name = "/" + title.toStdString();
  for (size_t i = 1; i < name.size(); ++i) {
    if (name[i] == '/') name[i] = '_';
  }
  return name;
}

TbtOnlyOne::TbtOnlyOne(QWidget* window, const QString& title) : QObject(window), window_(window) {
  block_ = std::make_unique<TbtSharedMem>(BlockName(title), 4);
  std::atomic<int32_t>* slot = Slot(*block_);
  const int32_t me = static_cast<int32_t>(getpid());
  int32_t seen = slot->load();
  for (;;) {
    if (seen != 0 && seen != me && ProcessAlive(seen)) {
      // Another copy holds the block: ask it to show its window.
      QLocalSocket socket;
      socket.connectToServer(ServerName(block_->name(), seen));
      if (socket.waitForConnected(2000)) {
        socket.write("raise\n");
        socket.flush();
        socket.waitForBytesWritten(2000);
        socket.waitForReadyRead(2000);
        socket.disconnectFromServer();
        another_copy_runs_ = true;
        return;
      }
      // Its process lives but answers nothing: a stale id taken over by another program.
    }
    // Claim the block in one step; when another start got there first, look again.
    if (slot->compare_exchange_strong(seen, me)) break;
  }
  owner_ = true;
  server_ = new QLocalServer(this);
  QString name = ServerName(block_->name(), me);
  QLocalServer::removeServer(name);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  server_->listen(name);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
      auto answer = [this, s] {
        if (!s->canReadLine()) return;
        s->readAll();
        Raise();
        s->write("ok\n");
        s->flush();
      };
      connect(s, &QLocalSocket::readyRead, s, answer);
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      answer();  // the request may have arrived with the connection
    }
  });
}

TbtOnlyOne::~TbtOnlyOne() {
  if (owner_ && block_) {
    int32_t me = static_cast<int32_t>(getpid());
    if (Slot(*block_)->compare_exchange_strong(me, 0)) block_->Unlink();
  }
}

void TbtOnlyOne::Raise() {
  if (!window_) return;
  qCDebug(lcGuard) << "another start asked to show the window";
  if (window_->isMinimized()) {
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

}  // namespace tessavo::app
