// The settings sheet: enabling rules of every page, what OK and Cancel write, and the DPI,
// macro and colour controls.
#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/settings_store.h"
#include "fake_shell.h"
#include "ui/settings_sheet.h"
#include "ui_helpers.h"

using namespace uitest;

class SheetTest : public QObject {
  Q_OBJECT
  IsolatedHome home_;

private slots:
  void enabling_data();
  void enabling();
  void okWritesOnlyShownPages();
  void cancelWritesNothing();
  void storedDpiIsListed();
  void dpiTextsAreNormalised_data();
  void dpiTextsAreNormalised();
  void macroAppendsItsToken();
  void swatchTakesTheChosenColour();
  void monitorSheetKeepsTheProducer();
};

void SheetTest::enabling_data() {
  QTest::addColumn<int>("page");
  QTest::addColumn<QStringList>("actions");
  QTest::addColumn<QStringList>("enabled");
  QTest::addColumn<QStringList>("disabled");
  const QStringList geometry = {"imgFit0", "imgFit1", "pageRotate", "layout",
                                "order0",  "order1",  "repeat",     "border"};
  // Page
  QTest::newRow("image size") << 0 << QStringList{"pageSize=0", "layout=2"}
                              << QStringList{"xdpi", "ydpi", "mTop", "mLeft", "mRight", "mBottom"}
                              << (geometry + QStringList{"page_W", "page_H"});
  QTest::newRow("A4, one per page")
      << 0 << QStringList{"pageSize=2", "layout=0"}
      << QStringList{"imgFit0", "imgFit1", "pageRotate", "layout", "mTop"}
      << QStringList{"order0", "order1", "repeat", "border", "xdpi", "ydpi", "page_W", "page_H"};
  QTest::newRow("A4, four per page") << 0 << QStringList{"pageSize=2", "layout=2"} << geometry
                                     << QStringList{"xdpi", "ydpi", "page_W", "page_H"};
  QTest::newRow("custom") << 0 << QStringList{"pageSize=7", "layout=5"}
                          << (geometry + QStringList{"page_W", "page_H"})
                          << QStringList{"xdpi", "ydpi"};
  // Bookmark
  const QStringList choices = {"bookmarksel0", "bookmarksel1", "bookmarksel2",
                               "bookmarksel3", "example0",     "example3"};
  QTest::newRow("no bookmarks") << 1 << QStringList{"bookmarksel2=1", "bookmark=0"} << QStringList{}
                                << (choices + QStringList{"unitforfile"});
  QTest::newRow("page numbers") << 1 << QStringList{"bookmark=1", "bookmarksel0=1"} << choices
                                << QStringList{"unitforfile"};
  QTest::newRow("full names") << 1 << QStringList{"bookmark=1", "bookmarksel3=1"}
                              << (choices + QStringList{"unitforfile"}) << QStringList{};
  // Watermark
  const QStringList header = {"hWatermark", "hpos", "hmacro", "hcolor"};
  const QStringList footer = {"fWatermark", "fpos", "fmacro", "fcolor"};
  const QStringList text = {"tWatermark", "tpos", "tsize", "tcolor"};
  const QStringList image = {"imgWatermark", "imgBrowse", "imgpos", "imgWidth", "imgHeight"};
  QTest::newRow("header only") << 2 << QStringList{"header=1", "footer=0", "text=0", "image=0"}
                               << header << (footer + text + image);
  QTest::newRow("footer and text") << 2 << QStringList{"header=0", "footer=1", "text=1", "image=0"}
                                   << (footer + text) << (header + image);
  QTest::newRow("image only") << 2 << QStringList{"header=0", "footer=0", "text=0", "image=1"}
                              << image << (header + footer + text);
  // Security
  const QStringList security = {"user", "owner", "level0", "level1", "print", "copy", "modify"};
  QTest::newRow("no security") << 5 << QStringList{"security=0"} << QStringList{} << security;
  QTest::newRow("security") << 5 << QStringList{"security=1"} << security << QStringList{};
}

void SheetTest::enabling() {
  QFETCH(int, page);
  QFETCH(QStringList, actions);
  QFETCH(QStringList, enabled);
  QFETCH(QStringList, disabled);
  app::SettingsStore store(home_.settings().toStdString());
  ui::CMyPropSheet sheet(store, app::DefaultConversionSettings());
  QWidget* p = sheet.tabs()->widget(page);
  for (const QString& a : actions)
    Apply(p, a);
  CheckEnabled(p, enabled, disabled);
}

void SheetTest::okWritesOnlyShownPages() {
  QString path = home_.path() + "/ok.ini";
  app::SettingsStore store(path.toStdString());
  app::SaveConversionSettings(store, app::DefaultConversionSettings());
  // A value the Watermark page would clamp if it wrote its keys.
  store.WriteMany({{"tsize", "500"}, {"outMode", "1"}, {"xdpi", "100"}});
  QMap<QString, QString> before = IniValues(path);

  FakeShell shell;
  ui::CMyPropSheet sheet(store, app::LoadConversionSettings(store));
  sheet.show();
  sheet.tabs()->setCurrentIndex(4);
  QWidget* info = sheet.tabs()->currentWidget();
  for (const char* key : {"title", "author", "subject", "keywords", "creator", "producer"})
    Apply(info, QString(key) + "=new " + key);
  QTest::mouseClick(Find<QPushButton>(&sheet, "ok"), Qt::LeftButton);
  QCOMPARE(sheet.result(), int(QDialog::Accepted));

  QMap<QString, QString> after = IniValues(path);
  QStringList changed;
  for (auto it = after.begin(); it != after.end(); ++it)
    if (before.value(it.key()) != it.value()) changed << it.key();
  changed.sort();
  QCOMPARE(changed, (QStringList{"author", "creator", "keywords", "producer", "subject", "title"}));
  QCOMPARE(after.value("title"), QString("new title"));
  QCOMPARE(after.size(), before.size());
}

void SheetTest::cancelWritesNothing() {
  QString path = home_.path() + "/cancel.ini";
  app::SettingsStore store(path.toStdString());
  store.WriteMany({{"title", "kept"}, {"pageSize", "3"}});
  QByteArray before = Bytes(path);
  ui::CMyPropSheet sheet(store, app::LoadConversionSettings(store));
  sheet.show();
  for (int i = 0; i < sheet.tabs()->count(); ++i)
    sheet.tabs()->setCurrentIndex(i);
  Apply(sheet.tabs()->widget(4), "title=changed");
  Apply(sheet.tabs()->widget(0), "pageSize=7");
  QTest::mouseClick(Find<QPushButton>(&sheet, "cancel"), Qt::LeftButton);
  QCOMPARE(sheet.result(), int(QDialog::Rejected));
  QCOMPARE(Bytes(path), before);
}

void SheetTest::storedDpiIsListed() {
  app::ConversionSettings s = app::DefaultConversionSettings();
  s.xdpi = 100;
  s.ydpi = 0;
  ui::CPage2 page(s);
  auto* x = Find<QComboBox>(&page, "xdpi");
  auto* y = Find<QComboBox>(&page, "ydpi");
  QCOMPARE(x->currentText(), QString("100"));
  QVERIFY(x->findText("100") >= 0);
  QCOMPARE(x->count(), 10);
  QCOMPARE(y->currentText(), QString("Remain unchanged"));
  QCOMPARE(y->count(), 9);
}

void SheetTest::dpiTextsAreNormalised_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("stored");
  QTest::newRow("below 72") << "50" << 72;
  QTest::newRow("above 1200") << "5000" << 1200;
  QTest::newRow("remain unchanged") << "Remain unchanged" << 0;
  QTest::newRow("reader") << "72(Reader)" << 72;
  QTest::newRow("typed number") << "333" << 333;
}

void SheetTest::dpiTextsAreNormalised() {
  QFETCH(QString, text);
  QFETCH(int, stored);
  ui::CPage2 page(app::DefaultConversionSettings());
  Find<QComboBox>(&page, "xdpi")->setEditText(text);
  app::ConversionSettings s = app::DefaultConversionSettings();
  page.Store(s);
  QCOMPARE(s.xdpi, stored);
}

void SheetTest::macroAppendsItsToken() {
  app::ConversionSettings s = app::DefaultConversionSettings();
  s.header = 1;
  s.hWatermark = "Page ";
  ui::CPage4 page(s);
  auto* macro = Find<QComboBox>(&page, "hmacro");
  int time = macro->findText("%LocalTime%");
  QVERIFY(time >= 0);
  for (int i = 0; i < 2; ++i)
    emit macro->activated(time);
  page.Store(s);
  QCOMPARE(s.hWatermark, std::string("Page %LocalTime%%LocalTime%"));
}

void SheetTest::swatchTakesTheChosenColour() {
  FakeShell shell;
  shell.colourAnswer = QColor(0x11, 0x22, 0x33);
  app::ConversionSettings s = app::DefaultConversionSettings();
  s.text = 1;
  ui::CPage4 page(s);
  page.show();
  auto* swatch = Find(&page, "tcolor");
  auto* header = Find(&page, "hcolor");
  QTest::mouseClick(swatch, Qt::LeftButton);
  QTest::mouseClick(header, Qt::LeftButton); // header block is off: no dialog, no change
  page.Store(s);
  QCOMPARE(s.tcolor, 0x332211);
  QCOMPARE(s.hcolor, 0);
}

void SheetTest::monitorSheetKeepsTheProducer() {
  QString path = home_.path() + "/producer.ini";
  app::SettingsStore store(path.toStdString());
  store.WriteText("producer", "Our Office");
  app::ConversionSettings monitorCopy =
      app::LoadConversionSettings(store, app::ProducerMode::kExclude);
  QVERIFY(monitorCopy.producer.empty());
  // What Edit does for the monitor: the Info page shows the stored producer.
  QTimer::singleShot(0, [&] {
    auto* open = qobject_cast<ui::CMyPropSheet*>(QApplication::activeModalWidget());
    QVERIFY(open);
    open->tabs()->setCurrentIndex(4);
    QCOMPARE(Find<QLineEdit>(open->tabs()->widget(4), "producer")->text(), QString("Our Office"));
    open->accept();
  });
  QVERIFY(ui::CMyPropSheet::Edit(store, monitorCopy, app::ProducerMode::kExclude, nullptr));
  QCOMPARE(store.ReadText("producer", ""), std::string("Our Office"));
}

QTEST_MAIN(SheetTest)
#include "ui_sheet_test.moc"
