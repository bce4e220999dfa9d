// The file list's actions, drops, columns and context menu; the main window's refusals; the
// options and monitor pages' enabling rules and what they write.
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include "app/settings_store.h"
#include "fake_shell.h"
#include "platform/autostart.h"
#include "ui/file_list_page.h"
#include "ui/main_window.h"
#include "ui/monitor_page.h"
#include "ui/options_page.h"
#include "ui/settings_sheet.h"
#include "ui/update_dialog.h"
#include "ui_helpers.h"

using namespace uitest;

namespace {

QString MakeFile(const QString& path, qint64 size) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
  f.write(QByteArray(size, 'x'));
  return path;
}

// Row order as the letters of the file names ("a.jpg" -> 'a').
QString Order(ui::FileListPage& page) {
  QString s;
  for (const ui::FileRow& r : page.model()->rows())
    s += QFileInfo(r.path).baseName();
  return s;
}

QString Header(ui::FileListPage& page) {
  return page.model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString();
}

void Drop(QWidget* target, const QStringList& paths) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& p : paths)
    urls << QUrl::fromLocalFile(p);
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

} // namespace

class PagesTest : public QObject {
  Q_OBJECT
  IsolatedHome home_;

  QString Settings(const QString& name) { return home_.path() + "/" + name + ".ini"; }

private slots:
  void listActions_data();
  void listActions();
  void sizeAndTypeColumns();
  void dropsTakeOnlySupportedFiles();
  void modeChangesOutputColumn();
  void storedOutputsAndDefaults();
  void contextMenu_data();
  void contextMenu();
  void windowRefusesWhileRunning();
  void optionsPage();
  void monitorEnabling_data();
  void monitorEnabling();
  void monitorRefusesWithoutFolder();
  void startAtLoginIsWrittenAtOnce();
  void everyControlHasAnAccessibleName();
  void pagesNeverShownWriteNothing();
  void addDialogs_data();
  void addDialogs();
};

void PagesTest::listActions_data() {
  QTest::addColumn<int>("rows");
  QTest::addColumn<QList<int>>("selection");
  QTest::addColumn<QString>("action");
  QTest::addColumn<bool>("confirm");
  QTest::addColumn<QString>("order");
  QTest::addColumn<QList<int>>("selected");
  QTest::addColumn<int>("asked");
  using L = QList<int>;
  QTest::newRow("remove one asks nothing") << 5 << L{2} << "remove" << true << "abde" << L{1} << 0;
  QTest::newRow("remove two asks once") << 5 << L{1, 3} << "remove" << true << "ace" << L{0} << 1;
  QTest::newRow("remove two, cancelled")
      << 5 << L{1, 3} << "remove" << false << "abcde" << L{1, 3} << 1;
  QTest::newRow("remove the first row") << 3 << L{0} << "remove" << true << "bc" << L{0} << 0;
  QTest::newRow("remove every row") << 2 << L{0, 1} << "remove" << true << "" << L{} << 1;
  QTest::newRow("remove without selection") << 3 << L{} << "remove" << true << "abc" << L{} << 0;
  QTest::newRow("delete key") << 4 << L{3} << "key:Delete" << true << "abc" << L{2} << 0;
  QTest::newRow("up") << 5 << L{1, 3} << "up" << true << "badce" << L{0, 2} << 0;
  QTest::newRow("up with row 0 selected")
      << 5 << L{0, 2} << "up" << true << "abcde" << L{0, 2} << 0;
  QTest::newRow("down") << 5 << L{1, 3} << "down" << true << "acbed" << L{2, 4} << 0;
  QTest::newRow("down with the last row")
      << 5 << L{2, 4} << "down" << true << "abcde" << L{2, 4} << 0;
  QTest::newRow("clear all") << 3 << L{1} << "clear" << true << "" << L{} << 1;
  QTest::newRow("clear all, cancelled") << 3 << L{1} << "clear" << false << "abc" << L{1} << 1;
  QTest::newRow("clear an empty list") << 0 << L{} << "clear" << true << "" << L{} << 0;
  QTest::newRow("select all") << 3 << L{} << "selectAll" << true << "abc" << L{0, 1, 2} << 0;
  QTest::newRow("ctrl+a") << 3 << L{1} << "key:Ctrl+A" << true << "abc" << L{0, 1, 2} << 0;
}

void PagesTest::listActions() {
  QFETCH(int, rows);
  QFETCH(QList<int>, selection);
  QFETCH(QString, action);
  QFETCH(bool, confirm);
  QFETCH(QString, order);
  QFETCH(QList<int>, selected);
  QFETCH(int, asked);

  FakeShell shell;
  shell.confirmAnswer = confirm;
  app::SettingsStore store(Settings("actions").toStdString());
  ui::FileListPage page(store);
  page.show();
  QTemporaryDir dir;
  QStringList files;
  for (int i = 0; i < rows; ++i)
    files << MakeFile(dir.filePath(QString(QChar('a' + i)) + ".jpg"), 10);
  page.AddFiles(files);
  QCOMPARE(page.selectedRows(), rows ? QList<int>{rows - 1} : QList<int>{});
  page.SelectRows(selection);

  if (action == "remove")
    QTest::mouseClick(Find<QPushButton>(&page, "remove"), Qt::LeftButton);
  else if (action == "up")
    QTest::mouseClick(Find<QPushButton>(&page, "up"), Qt::LeftButton);
  else if (action == "down")
    QTest::mouseClick(Find<QPushButton>(&page, "down"), Qt::LeftButton);
  else if (action == "clear")
    page.ClearAll();
  else if (action == "selectAll")
    page.SelectAll();
  else if (action == "key:Delete")
    QTest::keyClick(page.view(), Qt::Key_Delete);
  else if (action == "key:Ctrl+A")
    QTest::keyClick(page.view(), Qt::Key_A, Qt::ControlModifier);

  QCOMPARE(Order(page), order);
  QCOMPARE(page.selectedRows(), selected);
  QCOMPARE(shell.confirms.size(), asked);
  QCOMPARE(Header(page), QString("Image Files (%1)").arg(order.size()));
  bool any = !order.isEmpty(), sel = !selected.isEmpty();
  QCOMPARE(Find<QPushButton>(&page, "convert")->isEnabled(), any);
  for (const char* b : {"remove", "up", "down"})
    QCOMPARE(Find<QPushButton>(&page, b)->isEnabled(), sel);
}

void PagesTest::sizeAndTypeColumns() {
  app::SettingsStore store(Settings("sizes").toStdString());
  ui::FileListPage page(store);
  page.show();
  QTemporaryDir dir;
  struct Case {
    const char* name;
    qint64 bytes;
    const char* size;
    const char* type;
  } cases[] = {{"empty.jpg", 0, "0 KB", "JPG"},    {"small.JPEG", 500, "1 KB", "JPEG"},
               {"edge.bmp", 2047, "1 KB", "BMP"},  {"two.tif", 2048, "2 KB", "TIF"},
               {"notes.txt", 3000, "2 KB", "TXT"}, {"noext", 10, "1 KB", ""}};
  QStringList files;
  for (const Case& c : cases)
    files << MakeFile(dir.filePath(c.name), c.bytes);
  files << dir.filePath("missing.jpg"); // cannot be opened: not added
  page.AddFiles(files);
  QCOMPARE(page.model()->rowCount(), int(std::size(cases)));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const ui::FileRow& r = page.model()->rows()[i];
    QCOMPARE(r.size, QString(cases[i].size));
    QCOMPARE(r.type, QString(cases[i].type));
    QCOMPARE(r.status, QString("-"));
  }
  QCOMPARE(Header(page), QString("Image Files (6)"));
}

void PagesTest::dropsTakeOnlySupportedFiles() {
  app::SettingsStore store(Settings("drops").toStdString());
  ui::FileListPage page(store);
  page.show();
  QTemporaryDir dir;
  QDir(dir.path()).mkdir("folder.jpg");
  QStringList dropped = {dir.filePath("folder.jpg"), MakeFile(dir.filePath("x.JPG"), 5),
                         MakeFile(dir.filePath("notes.txt"), 5), MakeFile(dir.filePath("raw"), 5),
                         dir.filePath("gone.png")};
  Drop(page.view()->viewport(), dropped);
  QCOMPARE(page.model()->rowCount(), 1);
  QCOMPARE(page.model()->rows()[0].path, dir.filePath("x.JPG"));
  QCOMPARE(page.model()->rows()[0].type, QString("JPG"));
}

void PagesTest::modeChangesOutputColumn() {
  app::SettingsStore store(Settings("modes").toStdString());
  store.WriteMany({{"outPath0", "/out/All.pdf"}, {"outPath1", "/img/"}, {"outPath2", "/dir/"}});
  ui::FileListPage page(store);
  page.show();
  QTemporaryDir dir;
  QDir(dir.path()).mkdir("holiday");
  page.AddFiles({MakeFile(dir.filePath("holiday/beach.jpg"), 5)});
  auto out = [&] { return page.model()->rows()[0].output; };
  QCOMPARE(out(), QString("/out/All.pdf"));
  QTest::mouseClick(Find<QRadioButton>(&page, "mode1"), Qt::LeftButton);
  QCOMPARE(out(), QString("/img/beach.pdf"));
  QCOMPARE(Find<QLineEdit>(&page, "output")->text(), QString("/img/"));
  QTest::mouseClick(Find<QRadioButton>(&page, "mode2"), Qt::LeftButton);
  QCOMPARE(out(), QString("/dir/holiday.pdf"));
}

void PagesTest::storedOutputsAndDefaults() {
  QString path = Settings("defaults");
  app::SettingsStore store(path.toStdString());
  store.WriteInt("outMode", -1);
  FakeShell shell;
  {
    ui::FileListPage page(store);
    page.show();
    QCOMPARE(page.outputMode(), app::OutputMode::kMerge);
    QString folder = home_.path() + "/Zorvalex/Pictofold/";
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(Find<QLineEdit>(&page, "output")->text(), folder + "MyPDF.pdf");
    // The merge "..." appends .pdf in any letter case only when missing.
    shell.saveAnswer = home_.path() + "/Report";
    page.BrowseOutput();
    QCOMPARE(Find<QLineEdit>(&page, "output")->text(), home_.path() + "/Report.pdf");
    shell.saveAnswer = home_.path() + "/Scan.PDF";
    page.BrowseOutput();
    QCOMPARE(Find<QLineEdit>(&page, "output")->text(), home_.path() + "/Scan.PDF");
    page.SetOutputMode(app::OutputMode::kPerImage);
    shell.folderAnswer = home_.path() + "/images";
    page.BrowseOutput();
    QCOMPARE(shell.folderTitles.last(), QString("Please choose destination folder:"));
    page.hide();
  }
  QMap<QString, QString> v = IniValues(path);
  QCOMPARE(v.value("outmode"), QString("1"));
  QCOMPARE(v.value("outpath0"), home_.path() + "/Scan.PDF");
  QCOMPARE(v.value("outpath1"), home_.path() + "/images/");
  QCOMPARE(v.value("outpath2"), home_.path() + "/Zorvalex/Pictofold/");
}

void PagesTest::contextMenu_data() {
  QTest::addColumn<int>("rows");
  QTest::addColumn<QList<int>>("selection");
  QTest::addColumn<QStringList>("disabled");
  QTest::newRow("empty list") << 0 << QList<int>{}
                              << QStringList{"Remove\tDel", "Clear All", "Up", "Down",
                                             "Select All\tCtrl+A"};
  QTest::newRow("rows, none selected")
      << 2 << QList<int>{} << QStringList{"Remove\tDel", "Up", "Down"};
  QTest::newRow("a row selected") << 2 << QList<int>{1} << QStringList{};
}

void PagesTest::contextMenu() {
  QFETCH(int, rows);
  QFETCH(QList<int>, selection);
  QFETCH(QStringList, disabled);
  app::SettingsStore store(Settings("menu").toStdString());
  ui::FileListPage page(store);
  page.show();
  QTemporaryDir dir;
  QStringList files;
  for (int i = 0; i < rows; ++i)
    files << MakeFile(dir.filePath(QString::number(i) + ".png"), 1);
  page.AddFiles(files);
  page.SelectRows(selection);
  auto menu = page.BuildContextMenu();
  QStringList items, off;
  for (QAction* a : menu->actions()) {
    items << (a->isSeparator() ? QString("|") : a->text());
    if (!a->isSeparator() && !a->isEnabled()) off << a->text();
  }
  QCOMPARE(items, (QStringList{"Add File(s)...", "Add Folder...", "|", "Remove\tDel", "Clear All",
                               "|", "Up", "Down", "|", "Select All\tCtrl+A", "|",
                               "Open Source File", "Open Output"}));
  QCOMPARE(off, disabled);
}

void PagesTest::windowRefusesWhileRunning() {
  FakeShell shell;
  app::SettingsStore store(Settings("window").toStdString());
  ui::MainWindow window(store);
  window.show();
  QVERIFY(window.SelectTab(2));
  QCOMPARE(window.currentTab(), 2);
  window.SetRunning(true);
  QTest::mouseClick(window.tab(3), Qt::LeftButton);
  QCOMPARE(window.currentTab(), 2);
  QVERIFY(window.tab(2)->isChecked());
  QVERIFY(!window.close());
  QVERIFY(window.isVisible());
  QCOMPARE(shell.messages, (QStringList{ui::kConvertingMessage, ui::kConvertingMessage}));
  QCOMPARE(shell.icons, (QList<QMessageBox::Icon>{QMessageBox::Warning, QMessageBox::Warning}));
  window.SetRunning(false);
  QTest::keyClick(&window, Qt::Key_Escape);
  QTest::keyClick(&window, Qt::Key_Return);
  QVERIFY(window.isVisible());
  QTest::mouseClick(window.tab(3), Qt::LeftButton);
  QCOMPARE(window.currentTab(), 3);
  QVERIFY(window.close());
}

void PagesTest::optionsPage() {
  QString path = Settings("options");
  app::SettingsStore store(path.toStdString());
  store.WriteMany({{"after", "6"}, {"exists", "9"}, {"log", "0"}});
  FakeShell shell;
  ui::OptionsPage page(store);
  page.show();
  QCOMPARE(Find<QComboBox>(&page, "after")->currentText(), QString("Open Output"));
  QCOMPARE(Find<QComboBox>(&page, "exists")->currentText(), QString("Create new file"));
  QCOMPARE(Find<QComboBox>(&page, "priority")->currentText(), QString("Normal"));
  CheckEnabled(&page, {}, {"logpath", "logBrowse"});
  Find<QAbstractButton>(&page, "log")->click();
  CheckEnabled(&page, {"logpath", "logBrowse"}, {});
  shell.folderAnswer = home_.path() + "/logs";
  Find<QAbstractButton>(&page, "logBrowse")->click();
  QCOMPARE(shell.folderTitles, QStringList{"Select Log Folder"});
  Apply(&page, "exists=0");
  page.hide();
  QMap<QString, QString> v = IniValues(path);
  QCOMPARE(v.value("log"), QString("1"));
  QCOMPARE(v.value("logpath"), home_.path() + "/logs/");
  QCOMPARE(v.value("exists"), QString("0"));
  QCOMPARE(v.value("after"), QString("6"));
  QCOMPARE(v.value("priority"), QString("2"));
}

void PagesTest::monitorEnabling_data() {
  QTest::addColumn<QStringList>("actions");
  QTest::addColumn<QStringList>("enabled");
  QTest::addColumn<QStringList>("disabled");
  QTest::newRow("single pass, merge")
      << QStringList{"runsec=0", "monitorMode0=1"} << QStringList{"subdir", "browseInput", "runsec"}
      << QStringList{"second", "keepsub"};
  QTest::newRow("interval, per image") << QStringList{"runsec=1", "monitorMode1=1"}
                                       << QStringList{"second", "keepsub"} << QStringList{};
  QTest::newRow("per folder") << QStringList{"monitorMode2=1"} << QStringList{}
                              << QStringList{"keepsub"};
}

void PagesTest::monitorEnabling() {
  QFETCH(QStringList, actions);
  QFETCH(QStringList, enabled);
  QFETCH(QStringList, disabled);
  app::SettingsStore store(Settings("monitor").toStdString());
  ui::MonitorPage page(store);
  page.show();
  for (const QString& a : actions) {
    QString name = a.section('=', 0, 0);
    if (name.startsWith("monitorMode"))
      QTest::mouseClick(Find(&page, name), Qt::LeftButton);
    else
      Apply(&page, a);
  }
  CheckEnabled(&page, enabled, disabled);
}

void PagesTest::monitorRefusesWithoutFolder() {
  FakeShell shell;
  app::SettingsStore store(Settings("nofolder").toStdString());
  store.WriteText("input", "");
  ui::MonitorPage page(store);
  page.show();
  QTest::mouseClick(Find(&page, "start"), Qt::LeftButton);
  QVERIFY(!page.running());
  QCOMPARE(shell.messages, QStringList{"You must select a folder for monitoring."});
  QCOMPARE(shell.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
}

void PagesTest::startAtLoginIsWrittenAtOnce() {
  app::SettingsStore store(Settings("login").toStdString());
  ui::MonitorPage page(store);
  page.show();
  QString entry = QString::fromStdString(platform::AutostartEntryPath());
  QVERIFY(entry.startsWith(home_.path()));
  QVERIFY(!QFile::exists(entry));
  Find<QAbstractButton>(&page, "winstart")->click();
  QVERIFY(QFile::exists(entry));
  Find<QAbstractButton>(&page, "winstart")->click();
  QVERIFY(!QFile::exists(entry));
}

void PagesTest::everyControlHasAnAccessibleName() {
  app::SettingsStore store(Settings("a11y").toStdString());
  ui::MainWindow window(store);
  window.show();
  ui::CMyPropSheet sheet(store, app::DefaultConversionSettings(), &window);
  app::UpdateCheckOptions offline;
  offline.server = "http://127.0.0.1:9"; // discard port: nothing answers
  offline.useSystemProxy = false;
  ui::UpdateDialog update(offline, &window);
  int checked = 0;
  for (QWidget* root : std::initializer_list<QWidget*>{&window, &sheet, &update}) {
    for (QWidget* w : root->findChildren<QWidget*>()) {
      bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                     qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                     qobject_cast<QAbstractSlider*>(w) || qobject_cast<QAbstractItemView*>(w) ||
                     qobject_cast<ui::ColourSwatch*>(w);
      // Parts that belong to another control (a combo's own view, a spin box's edit).
      if (!control || qobject_cast<QAbstractSpinBox*>(w->parentWidget()) ||
          qobject_cast<QComboBox*>(w->parentWidget()) || w->inherits("QComboBoxPrivateContainer") ||
          (w->parentWidget() && w->parentWidget()->inherits("QComboBoxPrivateContainer")) ||
          qobject_cast<QAbstractScrollArea*>(w->parentWidget()) || w->inherits("QTabBar") ||
          w->inherits("QScrollBar") || w->inherits("QHeaderView"))
        continue;
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      QVERIFY(a);
      QVERIFY2(!a->text(QAccessible::Name).trimmed().isEmpty(),
               qPrintable(QString("%1 %2 has no accessible name")
                              .arg(w->metaObject()->className(), w->objectName())));
      ++checked;
    }
  }
  QVERIFY(checked > 100);
}

void PagesTest::pagesNeverShownWriteNothing() {
  // A page writes back only what it read: one never shown must not store its blank controls.
  QString path = Settings("unshown");
  app::SettingsStore store(path.toStdString());
  store.WriteMany({{"after", "3"},
                   {"logpath", "/var/log/mine/"},
                   {"outPath0", "/a/b.pdf"},
                   {"input", "/watched/"}});
  QByteArray before = Bytes(path);
  {
    ui::OptionsPage options(store);
    ui::FileListPage list(store);
    ui::MonitorPage monitor(store);
  }
  QCOMPARE(Bytes(path), before);
}

void PagesTest::addDialogs_data() {
  QTest::addColumn<QString>("dialog");
  QTest::addColumn<bool>("subfolders");
  QTest::addColumn<QString>("filter");
  QTest::addColumn<QStringList>("added");
  QTest::newRow("folder, all supported")
      << "folder" << false << "All Support" << QStringList{"a.jpg", "b.PNG", "d.jpeg"};
  QTest::newRow("folder and sub-folders, JPG only")
      << "folder" << true << "JPG" << QStringList{"a.jpg", "d.jpeg", "sub/c.jpg"};
  QTest::newRow("files, any type") << "files" << false << "" << QStringList{"notes.txt", "a.jpg"};
}

void PagesTest::addDialogs() {
  QFETCH(QString, dialog);
  QFETCH(bool, subfolders);
  QFETCH(QString, filter);
  QFETCH(QStringList, added);
  QTemporaryDir dir;
  QDir(dir.path()).mkdir("sub");
  for (const char* f : {"a.jpg", "b.PNG", "d.jpeg", "notes.txt", "sub/c.jpg", "sub/e.bmp"})
    MakeFile(dir.filePath(f), 3);
  QString path = Settings("dialogs-" + QString::number(qHash(QString(QTest::currentDataTag()))));
  app::SettingsStore store(path.toStdString());
  FakeShell shell;
  ui::FileListPage page(store);
  page.show();
  if (dialog == "folder") {
    int index = ui::FormatFilterNames().indexOf(filter);
    QVERIFY(index >= 0);
    shell.addFolderAnswer = ui::FolderChoice{dir.path(), subfolders, index};
    Find<QPushButton>(&page, "addFolder")->click();
    QCOMPARE(shell.addFolderStart.folder, home_.path() + "/"); // openDir's default
  } else {
    shell.openAnswer = {dir.filePath("notes.txt"), dir.filePath("a.jpg")};
    Find<QPushButton>(&page, "add")->click();
  }
  QStringList rows;
  for (const ui::FileRow& r : page.model()->rows())
    rows << QDir(dir.path()).relativeFilePath(r.path);
  QCOMPARE(rows, added);
  QMap<QString, QString> v = IniValues(path);
  if (dialog == "folder") {
    QCOMPARE(v.value("opendir"), dir.path());
    QCOMPARE(v.value("subdir"), QString(subfolders ? "1" : "0"));
  } else {
    QCOMPARE(v.value("openfile"), dir.path() + "/");
  }
}

QTEST_MAIN(PagesTest)
#include "ui_pages_test.moc"
