// The single-instance guard with real processes: a second start hands over to the first
// and ends; a copy under another file name runs beside it; a block left by a copy that
// died is taken over.
#include <sys/mman.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "app/single_instance.h"
#include "temp_dir.h"
#include "util/error.h"

using namespace tessavo;
using namespace tessavo::app;

class GuardTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<tessavo::testing::TempDir> dir_;
  QStringList names_;

  QString CopyProgram(const QString& name) {
    QString target = QString::fromStdString((dir_->path() / name.toStdString()).string());
    QFile::copy(TESSAVO_EXE, target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    names_ << name;
    return target;
  }

  void Start(QProcess& p, const QString& program) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSAVO_HOME", QString::fromStdString((dir_->path() / "home").string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_LOGGING_RULES", "tessavo.guard.debug=true");
    p.setProcessEnvironment(env);
    p.start(program, {});
    QVERIFY(p.waitForStarted(10000));
  }

  // Waits until the copy named `name` with process id `pid` listens for later starts.
  static bool WaitListening(const QString& name, qint64 pid) {
    QString socket = QDir::tempPath() + QString("/%1.%2.%3").arg(name).arg(getuid()).arg(pid);
    for (int i = 0; i < 300; ++i) {
      if (QFile::exists(socket)) return true;
      QTest::qWait(50);
    }
    return false;
  }

 private slots:
  void init() { dir_ = std::make_unique<tessavo::testing::TempDir>(); }
  void cleanup() {
    for (const QString& n : names_) shm_unlink(TbtOnlyOne::BlockName(n).c_str());
    names_.clear();
  }

  void blockNameAndErrorText() {
    QCOMPARE(TbtOnlyOne::BlockName("tessavo"), std::string("/tessavo"));
    try {
      TbtSharedMem bad("/no/such/name", 4);
      QFAIL("a name with a slash inside cannot be created");
    } catch (const Error& e) {
      QVERIFY(QString(e.what()).startsWith("Error creating shared memory /no/such/name ("));
    }
    TbtSharedMem a("/tessavo-guard-unit-" + std::to_string(getpid()), 4);
    TbtSharedMem b(a.name(), 4);
    *static_cast<int32_t*>(a.buffer()) = 1234;
    QCOMPARE(*static_cast<int32_t*>(b.buffer()), 1234);
    a.Unlink();
  }

  void secondStartHandsOverAndEnds() {
    QString name = QString("tessavo-guard-%1").arg(getpid());
    QString program = CopyProgram(name);
    QProcess first;
    Start(first, program);
    QVERIFY(WaitListening(name, first.processId()));

    QProcess second;
    Start(second, program);
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += first.readAllStandardError()).contains("another start asked to show the window"),
        5000);
    // The second start wrote no settings file.
    QVERIFY(
        !QFile::exists(QString::fromStdString((dir_->path() / "home" / "tessavo.ini").string())));

    // A copy under another name runs beside the first.
    QString other_name = QString("tessavo-other-%1").arg(getpid());
    QProcess other;
    Start(other, CopyProgram(other_name));
    QVERIFY(WaitListening(other_name, other.processId()));
    QCOMPARE(other.state(), QProcess::Running);
    other.kill();
    other.waitForFinished(5000);

    // The first copy dies without cleaning up; the next start runs normally.
    first.kill();
    first.waitForFinished(5000);
    QProcess third;
    Start(third, program);
    QVERIFY(WaitListening(name, third.processId()));
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished(5000);
  }
};

QTEST_MAIN(GuardTest)
#include "app_guard_test.moc"
