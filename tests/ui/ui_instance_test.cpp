// One instance: this test holds the lock as the running window would, then starts the real
// program a second time; that start must end at once and hand its files over.
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ui/single_instance.h"

class InstanceTest : public QObject {
  Q_OBJECT
private slots:
  void secondStartHandsOverItsFiles();
  void lockOfAVanishedProcessIsTakenOver();
};

void InstanceTest::secondStartHandsOverItsFiles() {
  QTemporaryDir runtime;
  ui::SingleInstance first(runtime.path());
  QVERIFY(first.Acquire());
  ui::SingleInstance again(runtime.path());
  QVERIFY(!again.Acquire());

  QSignalSpy received(&first, &ui::SingleInstance::filesReceived);
  QProcess second;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", runtime.path());
  env.insert("QT_QPA_PLATFORM", "offscreen");
  second.setProcessEnvironment(env);
  second.setWorkingDirectory(runtime.path());
  second.start(QStringLiteral(BIN_DIR "/pictofold-gui"), {"a.jpg", "/abs/b c.png"});
  QVERIFY(second.waitForStarted());
  QVERIFY(received.wait(20000));
  QVERIFY(second.waitForFinished(20000));
  QCOMPARE(second.exitStatus(), QProcess::NormalExit);
  QCOMPARE(second.exitCode(), 0);
  QCOMPARE(received.at(0).at(0).toStringList(),
           (QStringList{runtime.path() + "/a.jpg", "/abs/b c.png"}));

  // A start without files only raises the window.
  received.clear();
  QVERIFY(again.Send({}));
  QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 10000);
  QCOMPARE(received.at(0).at(0).toStringList(), QStringList{});
}

void InstanceTest::lockOfAVanishedProcessIsTakenOver() {
  QTemporaryDir runtime;
  QString lock;
  {
    ui::SingleInstance probe(runtime.path());
    lock = probe.lockPath();
  }
  // A lock file naming a process that no longer runs, as a crash leaves it.
  QProcess gone;
  gone.start("true");
  QVERIFY(gone.waitForStarted());
  qint64 pid = gone.processId();
  QVERIFY(gone.waitForFinished());
  QFile f(lock);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(QByteArray::number(pid) + "\npictofold-gui\n" + QSysInfo::machineHostName().toUtf8() +
          "\n");
  f.close();
  ui::SingleInstance next(runtime.path());
  QVERIFY(next.Acquire());
}

QTEST_MAIN(InstanceTest)
#include "ui_instance_test.moc"
