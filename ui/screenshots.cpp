// pictofold-screenshots OUTDIR: renders every page of the window and every page of the
// settings sheet into OUTDIR/*.png, with a few sample files in the list. Used by
// scripts/screenshots.sh and CI: a page that cannot build its widgets fails here.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "app/settings_store.h"
#include "ui/file_list_page.h"
#include "ui/main_window.h"
#include "ui/settings_sheet.h"

namespace {

bool Save(QWidget* w, const QString& path) {
  QPixmap pm = w->grab();
  if (pm.isNull() || pm.width() < 50 || !pm.save(path)) {
    std::fprintf(stderr, "screenshots: could not render %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pictofold-screenshots SAMPLES_DIR OUTDIR\n");
    return 2;
  }
  // A home of its own, so the pictures show defaults and nothing of the user's.
  QTemporaryDir home;
  qputenv("HOME", home.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
  QApplication qapp(argc, argv);
  QString samples = QString::fromLocal8Bit(argv[1]);
  QString out = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(out);

  app::SettingsStore store((home.path() + "/Settings.ini").toStdString());
  store.WriteMany({{"outPath0", "/home/me/Documents/Holiday.pdf"},
                   {"input", (home.path() + "/Scans/").toStdString()},
                   {"doutput", (home.path() + "/Documents/").toStdString()},
                   {"header", "1"},
                   {"hWatermark", "%Title% - %LocalDate(YY-MM-DD)%"},
                   {"title", "Holiday 2026"},
                   {"author", "Me"},
                   {"pageSize", "2"},
                   {"layout", "4"}});
  ui::MainWindow window(store);
  window.resize(900, 580);
  window.show();
  QStringList files;
  for (const char* name : {"landscape.jpg", "logo.png", "palette.bmp", "scan.tif", "bounce.gif"})
    files << samples + "/" + name;
  window.fileList()->AddFiles(files);

  bool ok = true;
  const char* tabs[] = {"file-list", "monitor", "options", "about"};
  for (int i = 0; i < 4; ++i) {
    window.SelectTab(i);
    QApplication::processEvents();
    ok = Save(&window, QStringLiteral("%1/%2-%3.png").arg(out).arg(i + 1).arg(tabs[i])) && ok;
  }
  window.SelectTab(0);

  ui::CMyPropSheet sheet(store, app::LoadConversionSettings(store), &window);
  sheet.resize(620, 520);
  sheet.show();
  for (int i = 0; i < sheet.tabs()->count(); ++i) {
    sheet.tabs()->setCurrentIndex(i);
    QApplication::processEvents();
    QString name = sheet.tabs()->tabText(i).toLower();
    ok = Save(&sheet, QStringLiteral("%1/settings-%2-%3.png").arg(out).arg(i + 1).arg(name)) && ok;
  }
  sheet.reject();
  return ok ? 0 : 1;
}
