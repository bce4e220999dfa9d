// Conversions started from the window: a whole run judged by qpdf, Stop between files, the
// "Ask always" question answered on the UI thread, refusals while running, and a monitor pass.
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/settings_store.h"
#include "fake_shell.h"
#include "ui/file_list_page.h"
#include "ui/main_window.h"
#include "ui/monitor_page.h"
#include "ui/system_actions.h"
#include "ui_helpers.h"

using namespace uitest;

namespace {

class RecordingActions : public platform::SystemActions {
public:
  void PowerOff() override { calls << "poweroff"; }
  void Suspend() override { calls << "suspend"; }
  void Reboot() override { calls << "reboot"; }
  void LogOff() override { calls << "logoff"; }
  void ExitProgram() override { calls << "exit"; }
  void Open(const std::string& location) override {
    calls << "open " + QString::fromStdString(location);
  }
  QStringList calls; // written by the worker, read after it ended
};

QString Sample(const char* name) {
  return QStringLiteral(SAMPLES_DIR "/") + name;
}

// qpdf --check is clean, and the number of pages.
int CheckedPages(const QString& pdf) {
  QProcess check;
  check.start("qpdf", {"--check", pdf});
  check.waitForFinished(60000);
  QString out = check.readAllStandardOutput() + check.readAllStandardError();
  if (check.exitCode() != 0 || out.contains("WARNING")) {
    qWarning("qpdf --check %s: %s", qPrintable(pdf), qPrintable(out));
    return -1;
  }
  QProcess pages;
  pages.start("qpdf", {"--show-npages", pdf});
  pages.waitForFinished(60000);
  return QString(pages.readAllStandardOutput()).trimmed().toInt();
}

QStringList Statuses(ui::FileListPage* page) {
  QStringList s;
  for (const ui::FileRow& r : page->model()->rows())
    s << r.status;
  return s;
}

} // namespace

class RunTest : public QObject {
  Q_OBJECT
  IsolatedHome home_;
  RecordingActions actions_;

private slots:
  void init() {
    actions_.calls.clear();
    ui::SetSystemActions(&actions_);
  }
  void cleanup() { ui::SetSystemActions(nullptr); }
  void wholeConversionFromTheWindow();
  void stopAfterAnsweringAskAlways();
  void monitorSinglePass();
};

void RunTest::wholeConversionFromTheWindow() {
  FakeShell shell;
  QTemporaryDir out;
  QString pdf = out.filePath("three.pdf");
  app::SettingsStore store(home_.path().toStdString() + "/whole.ini");
  store.WriteMany(
      {{"outMode", "0"}, {"outPath0", pdf.toStdString()}, {"exists", "2"}, {"after", "6"}});
  ui::MainWindow window(store);
  window.show();
  ui::FileListPage* page = window.fileList();
  page->AddFiles({Sample("landscape.jpg"), Sample("logo.png"), Sample("palette.bmp")});
  QSignalSpy finished(page, &ui::FileListPage::runFinished);

  QTest::mouseClick(Find<QPushButton>(page, "convert"), Qt::LeftButton);
  QVERIFY(window.running());
  QCOMPARE(Find<QPushButton>(page, "convert")->text(), QString("Stop"));
  for (const char* off : {"add", "addFolder", "remove", "up", "down", "settings", "browseOutput"})
    QVERIFY2(!Find(page, off)->isEnabled(), off);
  // Drops are ignored while converting; closing and changing pages are refused.
  QVERIFY(!window.close());
  QVERIFY(!window.SelectTab(1));
  QCOMPARE(shell.messages.size(), 2);

  QVERIFY(finished.wait(60000));
  QCOMPARE(finished.at(0).at(0).toBool(), false);
  QCOMPARE(Statuses(page), (QStringList{"Succeed", "Succeed", "Succeed"}));
  QVERIFY(!window.running());
  QCOMPARE(Find<QPushButton>(page, "convert")->text(), QString("Convert"));
  QVERIFY(Find(page, "add")->isEnabled());
  QCOMPARE(page->selectedRows(), QList<int>{0});
  QCOMPARE(CheckedPages(pdf), 3);
  QCOMPARE(actions_.calls, QStringList{"open " + pdf});

  // The same list again: the existing file is kept and a numbered one written.
  finished.clear();
  QTest::mouseClick(Find<QPushButton>(page, "convert"), Qt::LeftButton);
  QVERIFY(finished.wait(60000));
  QString numbered = out.filePath("three001.pdf");
  QCOMPARE(Find<QLineEdit>(page, "output")->text(), numbered);
  QCOMPARE(CheckedPages(numbered), 3);
  QVERIFY(window.close());
}

void RunTest::stopAfterAnsweringAskAlways() {
  FakeShell shell;
  QTemporaryDir in, out;
  const int kRows = 8;
  QStringList files;
  for (int i = 0; i < kRows; ++i) {
    QString f = in.filePath(QStringLiteral("r%1.jpg").arg(i));
    QVERIFY(QFile::copy(Sample("landscape.jpg"), f));
    files << f;
  }
  // Row 2's PDF exists already, so the run asks there.
  QFile existing(out.filePath("r2.pdf"));
  QVERIFY(existing.open(QIODevice::WriteOnly));
  existing.write("not yet a PDF");
  existing.close();

  app::SettingsStore store(home_.path().toStdString() + "/stop.ini");
  store.WriteMany({{"outMode", "1"},
                   {"outPath1", (out.path() + "/").toStdString()},
                   {"exists", "0"},
                   {"after", "6"}});
  ui::FileListPage page(store);
  page.show();
  page.AddFiles(files);
  QString chosen = out.filePath("chosen.pdf");
  shell.saveAnswer = chosen;
  bool onUiThread = false;
  shell.onSave = [&] {
    onUiThread = QThread::currentThread() == qApp->thread();
    // The user presses Stop while the question is open.
    QTest::mouseClick(Find<QPushButton>(&page, "convert"), Qt::LeftButton);
  };
  QSignalSpy finished(&page, &ui::FileListPage::runFinished);
  QTest::mouseClick(Find<QPushButton>(&page, "convert"), Qt::LeftButton);
  QVERIFY(finished.wait(60000));

  QVERIFY(onUiThread);
  QCOMPARE(shell.saveStarts, QStringList{out.filePath("r2.pdf")});
  QCOMPARE(finished.at(0).at(0).toBool(), true);
  QStringList expected{"Succeed", "Succeed", "Succeed"};
  while (expected.size() < kRows)
    expected << "-";
  QCOMPARE(Statuses(&page), expected);
  QCOMPARE(CheckedPages(chosen), 1);
  QCOMPARE(CheckedPages(out.filePath("r0.pdf")), 1);
  QVERIFY(!QFile::exists(out.filePath("r3.pdf")));
  QCOMPARE(Bytes(out.filePath("r2.pdf")), QByteArray("not yet a PDF"));
  QVERIFY(actions_.calls.isEmpty()); // a stopped run performs no after-conversion action

  // The next run offers to continue; Yes converts only the rows not yet tried.
  shell.onSave = nullptr;
  shell.yesAnswer = true;
  finished.clear();
  QTest::mouseClick(Find<QPushButton>(&page, "convert"), Qt::LeftButton);
  QVERIFY(finished.wait(60000));
  QCOMPARE(shell.questions.size(), 1);
  QVERIFY(Statuses(&page).count("Succeed") == kRows);
  QVERIFY(QFile::exists(out.filePath("r7.pdf")));
  QVERIFY(!QFile::exists(out.filePath("r0001.pdf"))); // row 0 was not converted again
  QCOMPARE(actions_.calls, QStringList{"open " + out.path() + "/"});
}

void RunTest::monitorSinglePass() {
  FakeShell shell;
  QTemporaryDir in, out;
  QVERIFY(QFile::copy(Sample("landscape.jpg"), in.filePath("a.jpg")));
  QVERIFY(QFile::copy(Sample("scan.tif"), in.filePath("b.tif")));
  // Files still being written wait for a later pass; these were written long ago.
  for (const char* name : {"a.jpg", "b.tif"}) {
    QFile f(in.filePath(name));
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                          QFileDevice::FileModificationTime));
  }
  QString pdf = out.filePath("watched.pdf");
  app::SettingsStore store(home_.path().toStdString() + "/monitor.ini");
  store.WriteMany({{"input", (in.path() + "/").toStdString()},
                   {"outMode", "0"},
                   {"outPath0", pdf.toStdString()},
                   {"runsec", "0"}});
  ui::MainWindow window(store);
  window.show();
  QVERIFY(window.SelectTab(1));
  ui::MonitorPage* page = window.monitor();
  QSignalSpy finished(page, &ui::MonitorPage::runFinished);
  QTest::mouseClick(Find<QPushButton>(page, "start"), Qt::LeftButton);
  QVERIFY(page->running());
  QVERIFY(window.running());
  QVERIFY(!Find(page, "browseInput")->isEnabled());
  QVERIFY(finished.wait(60000));
  QVERIFY(!window.running());
  QCOMPARE(Find<QPushButton>(page, "start")->text(), QString("Start"));
  QVERIFY(CheckedPages(pdf) >= 2);
  // One pass without deleting: the sources stay.
  QVERIFY(QFile::exists(in.filePath("a.jpg")) && QFile::exists(in.filePath("b.tif")));
  QVERIFY(page->stateText().startsWith("Current: "));
}

QTEST_MAIN(RunTest)
#include "ui_run_test.moc"
