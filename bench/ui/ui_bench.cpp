// ui_bench [ADD_COUNT] [CONVERT_COUNT]: how long adding ADD_COUNT files to the file list takes,
// and the longest the UI thread is kept from its event loop while CONVERT_COUNT files convert.
// Goals: 10,000 files added in under 2 s; no stall over 50 ms during a run of 1,000 files.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "app/settings_store.h"
#include "ui/file_list_page.h"

int main(int argc, char** argv) {
  QTemporaryDir home;
  qputenv("HOME", home.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qapp(argc, argv);
  int addCount = argc > 1 ? std::atoi(argv[1]) : 10000;
  int convertCount = argc > 2 ? std::atoi(argv[2]) : 1000;

  QTemporaryDir files;
  QStringList paths;
  QString sample = QStringLiteral(SAMPLES_DIR "/landscape.jpg");
  for (int i = 0; i < std::max(addCount, convertCount); ++i) {
    QString p = files.filePath(QStringLiteral("img%1.jpg").arg(i, 5, 10, QChar('0')));
    if (!QFile::copy(sample, p)) {
      std::fprintf(stderr, "cannot copy the sample\n");
      return 1;
    }
    paths << p;
  }

  app::SettingsStore store((home.path() + "/Settings.ini").toStdString());
  store.WriteMany({{"outPath0", (home.path() + "/bench.pdf").toStdString()}, {"exists", "1"}});
  {
    ui::FileListPage page(store);
    page.resize(800, 500);
    page.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    page.AddFiles(paths.mid(0, addCount));
    QApplication::processEvents(); // the view lays out and paints the new rows
    std::printf("add %d files: %.3f s (goal < 2 s)\n", addCount, t.nsecsElapsed() / 1e9);
  }

  ui::FileListPage page(store);
  page.resize(800, 500);
  page.show();
  page.AddFiles(paths.mid(0, convertCount));
  QElapsedTimer sinceTick;
  qint64 worst = 0, worstAt = 0;
  QElapsedTimer run;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    qint64 gap = sinceTick.restart();
    if (gap > worst) {
      worst = gap;
      worstAt = run.elapsed();
    }
  });
  bool finished = false;
  QObject::connect(&page, &ui::FileListPage::runFinished, [&] { finished = true; });
  run.start();
  page.ConvertOrStop();
  sinceTick.start();
  ticker.start(5);
  while (!finished)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  int ok = 0;
  for (const ui::FileRow& r : page.model()->rows())
    ok += r.status == QStringLiteral("Succeed") ? 1 : 0;
  std::printf("convert %d files: %.2f s, %d converted; longest UI stall %lld ms at %.2f s "
              "(timer every 5 ms; goal < 50 ms)\n",
              convertCount, run.nsecsElapsed() / 1e9, ok, static_cast<long long>(worst),
              worstAt / 1e3);
  return 0;
}
