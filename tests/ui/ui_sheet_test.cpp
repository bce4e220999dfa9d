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
  void okWritesOnlyShownPages_data();
  void okWritesOnlyShownPages();
  void imageAndFontControlsLoad_data();
  void imageAndFontControlsLoad();
  void fontListStartsWithTheStandardFonts();
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

void SheetTest::okWritesOnlyShownPages_data() {
  QTest::addColumn<QStringList>("stored");
  QTest::addColumn<int>("page");
  QTest::addColumn<QStringList>("actions");
  QTest::addColumn<QStringList>("written");
  // tsize=500 is a value the Watermark page would clamp if it wrote its keys.
  const QStringList others = {"tsize=500", "outMode=1", "xdpi=100"};
  QTest::newRow("info") << others << 4
                        << QStringList{"title=new title",     "author=new author",
                                       "subject=new subject", "keywords=new keywords",
                                       "creator=new creator", "producer=new producer"}
                        << QStringList{"author=new author",     "creator=new creator",
                                       "keywords=new keywords", "producer=new producer",
                                       "subject=new subject",   "title=new title"};
  QTest::newRow("compress: image flags off")
      << others << 6 << QStringList{"lossless=0", "autoRotate=0"}
      << QStringList{"autorotate=0", "lossless=0"};
  QTest::newRow("compress: image flags back on")
      << (others + QStringList{"lossless=0", "autoRotate=0"}) << 6
      << QStringList{"lossless=1", "autoRotate=1"} << QStringList{"autorotate=1", "lossless=1"};
  QTest::newRow("watermark: typed font")
      << QStringList{"outMode=1", "xdpi=100"} << 2 << QStringList{"font=Courier-Bold"}
      << QStringList{"font=Courier-Bold"};
}

void SheetTest::okWritesOnlyShownPages() {
  QFETCH(QStringList, stored);
  QFETCH(int, page);
  QFETCH(QStringList, actions);
  QFETCH(QStringList, written);
  QString path = home_.path() + "/ok-" + QTest::currentDataTag() + ".ini";
  app::SettingsStore store(path.toStdString());
  app::SaveConversionSettings(store, app::DefaultConversionSettings());
  std::vector<std::pair<std::string, std::string>> extra;
  for (const QString& kv : stored)
    extra.emplace_back(kv.section('=', 0, 0).toStdString(), kv.section('=', 1).toStdString());
  store.WriteMany(extra);
  QMap<QString, QString> before = IniValues(path);

  FakeShell shell;
  ui::CMyPropSheet sheet(store, app::LoadConversionSettings(store));
  sheet.show();
  sheet.tabs()->setCurrentIndex(page);
  QWidget* shown = sheet.tabs()->currentWidget();
  for (const QString& a : actions) {
    // The font combo is editable: its value is the typed text.
    if (a.startsWith("font="))
      Find<QComboBox>(shown, "font")->setEditText(a.section('=', 1));
    else
      Apply(shown, a);
  }
  QTest::mouseClick(Find<QPushButton>(&sheet, "ok"), Qt::LeftButton);
  QCOMPARE(sheet.result(), int(QDialog::Accepted));

  QMap<QString, QString> after = IniValues(path);
  QStringList changed;
  for (auto it = after.begin(); it != after.end(); ++it)
    if (before.value(it.key()) != it.value()) changed << it.key() + "=" + it.value();
  changed.sort();
  QCOMPARE(changed, written);
  QCOMPARE(after.size(), before.size());
}

void SheetTest::imageAndFontControlsLoad_data() {
  QTest::addColumn<QStringList>("stored");
  QTest::addColumn<bool>("lossless");
  QTest::addColumn<bool>("autoRotate");
  QTest::addColumn<QString>("font");
  QTest::newRow("defaults") << QStringList{} << true << true << "Helvetica";
  QTest::newRow("stored off, standard font")
      << QStringList{"lossless=0", "autoRotate=0", "font=Times-BoldItalic"} << false << false
      << "Times-BoldItalic";
  QTest::newRow("unknown font is kept")
      << QStringList{"lossless=1", "autoRotate=0", "font=No Such Family 42"} << true << false
      << "No Such Family 42";
}

void SheetTest::imageAndFontControlsLoad() {
  QFETCH(QStringList, stored);
  QFETCH(bool, lossless);
  QFETCH(bool, autoRotate);
  QFETCH(QString, font);
  QString path = home_.path() + "/load-" + QTest::currentDataTag() + ".ini";
  app::SettingsStore store(path.toStdString());
  std::vector<std::pair<std::string, std::string>> values;
  for (const QString& kv : stored)
    values.emplace_back(kv.section('=', 0, 0).toStdString(), kv.section('=', 1).toStdString());
  store.WriteMany(values);
  app::ConversionSettings s = app::LoadConversionSettings(store);
  ui::CMyPropSheet sheet(store, s);
  QWidget* compress = sheet.tabs()->widget(6);
  QCOMPARE(Find<QCheckBox>(compress, "lossless")->isChecked(), lossless);
  QCOMPARE(Find<QCheckBox>(compress, "autoRotate")->isChecked(), autoRotate);
  // JPEG inputs are re-encoded at this quality whether or not other images are lossless.
  QVERIFY(Find(compress, "quality")->isEnabled());
  auto* combo = Find<QComboBox>(sheet.tabs()->widget(2), "font");
  QCOMPARE(combo->currentText(), font);

  app::ConversionSettings out = app::DefaultConversionSettings();
  out.lossless = out.autoRotate = -1;
  static_cast<ui::SheetPage*>(compress)->Store(out);
  static_cast<ui::SheetPage*>(sheet.tabs()->widget(2))->Store(out);
  QCOMPARE(out.lossless, lossless ? 1 : 0);
  QCOMPARE(out.autoRotate, autoRotate ? 1 : 0);
  QCOMPARE(QString::fromStdString(out.font), font);
  for (const char* name : {"lossless", "autoRotate", "font"})
    QVERIFY2(!Find(sheet.tabs(), name)->accessibleName().isEmpty(), name);
}

void SheetTest::fontListStartsWithTheStandardFonts() {
  ui::CPage4 page(app::DefaultConversionSettings());
  auto* combo = Find<QComboBox>(&page, "font");
  QVERIFY(combo->isEditable());
  QStringList first;
  for (int i = 0; i < 14 && i < combo->count(); ++i)
    first << combo->itemText(i);
  QCOMPARE(first, (QStringList{"Helvetica", "Helvetica-Bold", "Helvetica-Oblique",
                               "Helvetica-BoldOblique", "Times-Roman", "Times-Bold", "Times-Italic",
                               "Times-BoldItalic", "Courier", "Courier-Bold", "Courier-Oblique",
                               "Courier-BoldOblique", "Symbol", "ZapfDingbats"}));
  // Installed families follow, once each.
  QStringList all;
  for (int i = 0; i < combo->count(); ++i)
    all << combo->itemText(i);
  QCOMPARE(all.removeDuplicates(), 0);
  QVERIFY(all.contains("DejaVu Sans"));
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
  Apply(sheet.tabs()->widget(6), "lossless=0");
  Find<QComboBox>(sheet.tabs()->widget(2), "font")->setEditText("Courier");
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
