#include "ui/settings_sheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/settings_store.h"
#include "text/std_fonts.h"
#include "ui/image_size.h"
#include "ui/shell.h"
#include "ui/widgets.h"

namespace ui {

namespace {

const QStringList kSizes = {"ImageSize", "A3", "A4", "A5", "B5", "Letter", "Legal", "Custom"};
const QStringList kDpis = {
    "Remain unchanged", "72(Reader)", "96", "120", "150", "200", "300", "600", "1200"};
const QStringList kLayouts = {"1", "2", "4", "6", "9", "16"};
const QStringList kAngles = {"0", "90", "180", "270"};
const QStringList kAlign = {"Left", "Center", "Right"};
const QStringList kNine = {"Top-Left",     "Top-Center",  "Top-Right",     "Center-Left", "Center",
                           "Center-Right", "Bottom-Left", "Bottom-Center", "Bottom-Right"};
const QStringList kMacros = {"%Title%",
                             "%Subject%",
                             "%Author%",
                             "%Keywordes%",
                             "%LocalDate(YY-MM-DD)%",
                             "%LocalDate(DD-MM-YY)%",
                             "%LocalTime%"};
const QStringList kColourCompression = {"None", "Lzw", "Zip", "Packbits", "Jpeg"};
const QStringList kBwCompression = {"None", "Lzw", "Zip", "CCITT G3", "CCITT G4"};

constexpr int kSettingsTextMax = app::kTextCapacity - 1;

QComboBox* Combo(const QStringList& items, int current, const QString& name, const QString& key,
                 QWidget* parent) {
  auto* c = Named(new QComboBox(parent), name, key);
  c->addItems(items);
  c->setCurrentIndex(current >= 0 && current < items.size() ? current : 0);
  return c;
}

QCheckBox* Check(const QString& text, int value, const QString& key, QWidget* parent) {
  auto* c = Named(new QCheckBox(text, parent), text, key);
  c->setChecked(value == 1);
  return c;
}

QLineEdit* Edit(const std::string& value, int maxLength, const QString& name, const QString& key,
                QWidget* parent) {
  auto* e = Named(new QLineEdit(parent), name, key);
  e->setMaxLength(maxLength);
  e->setText(Q(value));
  return e;
}

QLineEdit* Digits(int value, int maxDigits, const QString& name, const QString& key,
                  QWidget* parent) {
  auto* e = Named(new QLineEdit(parent), name, key);
  e->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxDigits)), e));
  e->setMaxLength(maxDigits);
  e->setText(QString::number(value));
  return e;
}

QSpinBox* Spin(int value, int lo, int hi, const QString& name, const QString& key,
               QWidget* parent) {
  auto* s = Named(new QSpinBox(parent), name, key);
  s->setRange(lo, hi);
  s->setValue(value);
  return s;
}

// Radio buttons in a group whose ids are the stored choice.
QButtonGroup* Radios(const QStringList& texts, int current, const QString& key, QLayout* layout,
                     QWidget* parent, std::vector<QWidget*>* created = nullptr) {
  auto* group = new QButtonGroup(parent);
  for (int i = 0; i < texts.size(); ++i) {
    auto* r = Named(new QRadioButton(texts[i], parent), texts[i], key + QString::number(i));
    group->addButton(r, i);
    layout->addWidget(r);
    if (created) created->push_back(r);
  }
  auto* b = group->button(current >= 0 && current < texts.size() ? current : 0);
  b->setChecked(true);
  return group;
}

int Digits(const QLineEdit* e) {
  return app::ParseSettingsInt(S(e->text()));
}

void SetDpiCombo(QComboBox* c, int dpi) {
  QString text = DpiText(dpi);
  int i = c->findText(text);
  if (i < 0) {
    c->addItem(text);
    i = c->count() - 1;
  }
  c->setCurrentIndex(i);
}

// A page outline turned by the angle, with a mark at its top edge.
QPixmap AnglePicture(int angle) {
  QPixmap pm(64, 64);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(32, 32);
  p.rotate(angle);
  p.setPen(QPen(Qt::darkGray, 2));
  p.setBrush(Qt::white);
  p.drawRect(-16, -22, 32, 44);
  p.setBrush(QColor(0x33, 0x66, 0xcc));
  p.drawRect(-10, -17, 20, 6);
  return pm;
}

// An image in a cell: kept in proportion (fit) or filling it (stretch).
QPixmap FitPicture(bool stretch) {
  QPixmap pm(64, 64);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(QPen(Qt::darkGray, 2));
  p.setBrush(Qt::white);
  p.drawRect(4, 4, 56, 56);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x33, 0x99, 0x66));
  if (stretch)
    p.drawRect(8, 8, 48, 48);
  else
    p.drawRect(8, 20, 48, 24);
  return pm;
}

// The standard fonts every reader has, then the installed families; any other name may be typed.
QComboBox* FontCombo(const std::string& value, QWidget* parent) {
  auto* c = Named(new QComboBox(parent), "Font", "font");
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);
  c->lineEdit()->setMaxLength(kSettingsTextMax);
  QStringList names;
  for (const text::StdFontMetrics& f : text::kStdFonts)
    names << QString::fromLatin1(f.name);
  for (const QString& family : QFontDatabase::families())
    if (!names.contains(family)) names << family;
  c->addItems(names);
  QString stored = Q(value);
  int i = c->findText(stored, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (i >= 0)
    c->setCurrentIndex(i);
  else
    c->setEditText(stored); // an unknown name is shown and kept as it stands
  return c;
}

} // namespace

QString DpiText(int dpi) {
  if (dpi == 0) return kDpis[0];
  if (dpi == 72) return kDpis[1];
  return QString::number(dpi);
}

void SheetPage::showEvent(QShowEvent* e) {
  shown_ = true;
  QWidget::showEvent(e);
}

// ---- Compress

CPage1::CPage1(const app::ConversionSettings& s, QWidget* parent) : SheetPage(parent) {
  auto* box = new QGroupBox(QStringLiteral("Image Recompress"), this);
  auto* form = new QFormLayout(box);
  color_ = Combo(kColourCompression, s.colorTif, "Color Image", "colorTif", box);
  gray_ = Combo(kColourCompression, s.grayTif, "Grayscale Image", "grayTif", box);
  bw_ = Combo(kBwCompression, s.bwTif, "Black/White Image", "bwTif", box);
  form->addRow(QStringLiteral("Color Image"), color_);
  form->addRow(QStringLiteral("Grayscale Image"), gray_);
  form->addRow(QStringLiteral("Black/White Image"), bw_);
  skew_ = Check(QStringLiteral("Skew correct"), s.bSkew, "bSkew", box);
  form->addRow(skew_);
  lossless_ = Check(QStringLiteral("Lossless images"), s.lossless, "lossless", box);
  form->addRow(lossless_);
  autoRotate_ = Check(QStringLiteral("Turn photos upright (Exif orientation)"), s.autoRotate,
                      "autoRotate", box);
  form->addRow(autoRotate_);

  quality_ = Named(new QSlider(Qt::Horizontal, box), "JPEG Quality", "quality");
  quality_->setRange(0, 100);
  quality_->setTickInterval(10);
  quality_->setTickPosition(QSlider::TicksBelow);
  quality_->setValue(std::clamp(s.quality, 0, 100));
  qualityText_ = Named(new QLabel(box), "JPEG Quality value", "qualityText");
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Small Size"), box));
  row->addWidget(quality_, 1);
  row->addWidget(new QLabel(QStringLiteral("High Quality"), box));
  row->addWidget(qualityText_);
  form->addRow(QStringLiteral("JPEG Quality"), row);
  ShowQuality();
  connect(quality_, &QSlider::sliderReleased, this, &CPage1::ShowQuality);
  // Keyboard changes have no release; the label follows them at once.
  connect(quality_, &QSlider::valueChanged, this, [this] {
    if (!quality_->isSliderDown()) ShowQuality();
  });
  auto* v = new QVBoxLayout(this);
  v->addWidget(box);
  v->addStretch();
}

void CPage1::ShowQuality() {
  qualityText_->setText(QStringLiteral("%1%").arg(quality_->value()));
}

void CPage1::Store(app::ConversionSettings& s) const {
  s.colorTif = color_->currentIndex();
  s.grayTif = gray_->currentIndex();
  s.bwTif = bw_->currentIndex();
  s.bSkew = skew_->isChecked() ? 1 : 0;
  s.lossless = lossless_->isChecked() ? 1 : 0;
  s.autoRotate = autoRotate_->isChecked() ? 1 : 0;
  s.quality = quality_->value();
}

// ---- Page

CPage2::CPage2(const app::ConversionSettings& s, QWidget* parent) : SheetPage(parent) {
  auto* grid = new QGridLayout(this);

  auto* sizeBox = new QGroupBox(QStringLiteral("Page Size"), this);
  auto* sizeForm = new QFormLayout(sizeBox);
  size_ = Combo(kSizes, s.pageSize, "Size", "pageSize", sizeBox);
  sizeForm->addRow(QStringLiteral("Size"), size_);
  width_ = Digits(s.page_W, 5, "Width", "page_W", sizeBox);
  height_ = Digits(s.page_H, 5, "Height", "page_H", sizeBox);
  sizeForm->addRow(QStringLiteral("Width"), width_);
  sizeForm->addRow(QStringLiteral("Height"), height_);
  sizeForm->addRow(new QLabel(QStringLiteral("(3 - 14400) pixel"), sizeBox));
  xdpi_ = Named(new QComboBox(sizeBox), "X-DPI", "xdpi");
  ydpi_ = Named(new QComboBox(sizeBox), "Y-DPI", "ydpi");
  for (QComboBox* c : {xdpi_, ydpi_}) {
    c->setEditable(true);
    c->addItems(kDpis);
    c->setInsertPolicy(QComboBox::NoInsert);
  }
  SetDpiCombo(xdpi_, s.xdpi);
  SetDpiCombo(ydpi_, s.ydpi);
  sizeForm->addRow(QStringLiteral("X-DPI"), xdpi_);
  sizeForm->addRow(QStringLiteral("Y-DPI"), ydpi_);
  grid->addWidget(sizeBox, 0, 0);

  auto* marginBox = new QGroupBox(QStringLiteral("Margin (pixel)"), this);
  auto* marginForm = new QFormLayout(marginBox);
  top_ = Spin(s.mTop, 0, 999, "Top", "mTop", marginBox);
  left_ = Spin(s.mLeft, 0, 999, "Left", "mLeft", marginBox);
  right_ = Spin(s.mRight, 0, 999, "Right", "mRight", marginBox);
  bottom_ = Spin(s.mBottom, 0, 999, "Bottom", "mBottom", marginBox);
  marginForm->addRow(QStringLiteral("Top"), top_);
  marginForm->addRow(QStringLiteral("Left"), left_);
  marginForm->addRow(QStringLiteral("Right"), right_);
  marginForm->addRow(QStringLiteral("Bottom"), bottom_);
  grid->addWidget(marginBox, 0, 1);

  auto* layoutBox = new QGroupBox(QStringLiteral("Layout"), this);
  auto* layoutForm = new QFormLayout(layoutBox);
  layout_ = Named(new QComboBox(layoutBox), "Num/Per Page", "layout");
  layout_->addItems(kLayouts);
  layout_->setCurrentIndex(std::max(0, layout_->findText(QString::number(s.layout))));
  layoutForm->addRow(QStringLiteral("Num/Per Page"), layout_);
  auto* orderRow = new QHBoxLayout;
  horizontal_ =
      Named(new QRadioButton(QStringLiteral("Horizontal"), layoutBox), "Horizontal", "order0");
  vertical_ = Named(new QRadioButton(QStringLiteral("Vertical"), layoutBox), "Vertical", "order1");
  (s.order == 1 ? vertical_ : horizontal_)->setChecked(true);
  orderRow->addWidget(horizontal_);
  orderRow->addWidget(vertical_);
  layoutForm->addRow(QStringLiteral("Order"), orderRow);
  repeat_ = Check(QStringLiteral("Repeat"), s.repeat, "repeat", layoutBox);
  border_ = Check(QStringLiteral("Border"), s.border, "border", layoutBox);
  auto* checks = new QHBoxLayout;
  checks->addWidget(repeat_);
  checks->addWidget(border_);
  layoutForm->addRow(checks);
  grid->addWidget(layoutBox, 1, 0);

  auto* placeBox = new QGroupBox(QStringLiteral("Orientation and Image Position"), this);
  auto* placeGrid = new QGridLayout(placeBox);
  angle_ = Combo(kAngles, s.pageRotate, "Angle", "pageRotate", placeBox);
  anglePicture_ = Named(new QLabel(placeBox), "Angle picture", "anglePicture");
  placeGrid->addWidget(new QLabel(QStringLiteral("Angle"), placeBox), 0, 0);
  placeGrid->addWidget(angle_, 0, 1);
  placeGrid->addWidget(anglePicture_, 0, 2);
  fit_ = Named(new QRadioButton(QStringLiteral("Fit"), placeBox), "Fit", "imgFit0");
  stretch_ = Named(new QRadioButton(QStringLiteral("Stretch"), placeBox), "Stretch", "imgFit1");
  (s.imgFit == 1 ? stretch_ : fit_)->setChecked(true);
  fitPicture_ = Named(new QLabel(placeBox), "Image Position picture", "fitPicture");
  placeGrid->addWidget(new QLabel(QStringLiteral("Image Position"), placeBox), 1, 0);
  auto* fitCol = new QVBoxLayout;
  fitCol->addWidget(fit_);
  fitCol->addWidget(stretch_);
  placeGrid->addLayout(fitCol, 1, 1);
  placeGrid->addWidget(fitPicture_, 1, 2);
  grid->addWidget(placeBox, 1, 1);
  grid->setRowStretch(2, 1);

  connect(size_, &QComboBox::currentIndexChanged, this, &CPage2::ApplyEnabling);
  connect(layout_, &QComboBox::currentIndexChanged, this, &CPage2::ApplyEnabling);
  connect(angle_, &QComboBox::currentIndexChanged, this, &CPage2::ShowPictures);
  connect(stretch_, &QRadioButton::toggled, this, &CPage2::ShowPictures);
  ShowPictures();
  ApplyEnabling();
}

void CPage2::ShowPictures() {
  anglePicture_->setPixmap(AnglePicture(angle_->currentIndex() * 90));
  fitPicture_->setPixmap(FitPicture(stretch_->isChecked()));
}

void CPage2::ApplyEnabling() {
  bool imageSize = size_->currentIndex() == 0;
  bool custom = size_->currentIndex() == 7;
  bool several = layout_->currentText() != QStringLiteral("1");
  xdpi_->setEnabled(imageSize);
  ydpi_->setEnabled(imageSize);
  for (QWidget* w :
       std::initializer_list<QWidget*>{fit_, stretch_, fitPicture_, angle_, anglePicture_, layout_})
    w->setEnabled(!imageSize);
  for (QWidget* w : std::initializer_list<QWidget*>{horizontal_, vertical_, repeat_, border_})
    w->setEnabled(!imageSize && several);
  width_->setEnabled(custom);
  height_->setEnabled(custom);
}

void CPage2::Store(app::ConversionSettings& s) const {
  s.pageSize = size_->currentIndex();
  s.page_W = Digits(width_);
  s.page_H = Digits(height_);
  s.mTop = top_->value();
  s.mLeft = left_->value();
  s.mRight = right_->value();
  s.mBottom = bottom_->value();
  s.xdpi = app::NormaliseDpi(S(xdpi_->currentText()));
  s.ydpi = app::NormaliseDpi(S(ydpi_->currentText()));
  s.layout = app::ParseSettingsInt(S(layout_->currentText()));
  s.order = vertical_->isChecked() ? 1 : 0;
  s.repeat = repeat_->isChecked() ? 1 : 0;
  s.border = border_->isChecked() ? 1 : 0;
  s.pageRotate = angle_->currentIndex();
  s.imgFit = stretch_->isChecked() ? 1 : 0;
}

// ---- Bookmark

CPage3::CPage3(const app::ConversionSettings& s, QWidget* parent) : SheetPage(parent) {
  auto* v = new QVBoxLayout(this);
  bookmark_ = Check(QStringLiteral("Add Bookmark"), s.bookmark, "bookmark", this);
  v->addWidget(bookmark_);
  const QStringList texts = {"Use the page number as bookmarks",
                             "Use short filename without filetype as bookmarks",
                             "Use short filename as bookmarks", "Use full filename as bookmarks"};
  const QStringList examples = {"Example: 1, 2, 3 ...", "Example: image1, image2 ...",
                                "Example: image1.jpg, image2.jpg ...",
                                "Example: /home/me/image1.jpg, /home/me/image2.jpg ..."};
  auto* box = new QGroupBox(this);
  auto* bv = new QVBoxLayout(box);
  choice_ = new QButtonGroup(this);
  for (int i = 0; i < texts.size(); ++i) {
    auto* r = Named(new QRadioButton(texts[i], box), texts[i], "bookmarksel" + QString::number(i));
    auto* ex = Named(new QLabel(examples[i], box), examples[i], "example" + QString::number(i));
    ex->setIndent(24);
    choice_->addButton(r, i);
    bv->addWidget(r);
    bv->addWidget(ex);
    choiceWidgets_.push_back(r);
    choiceWidgets_.push_back(ex);
  }
  choice_->button(s.bookmarksel >= 0 && s.bookmarksel < 4 ? s.bookmarksel : 0)->setChecked(true);
  v->addWidget(box);
  unit_ = Check(QStringLiteral("Unit for file"), s.unitforfile, "unitforfile", this);
  v->addWidget(unit_);
  v->addStretch();
  connect(bookmark_, &QCheckBox::toggled, this, &CPage3::ApplyEnabling);
  connect(choice_, &QButtonGroup::idToggled, this, &CPage3::ApplyEnabling);
  ApplyEnabling();
}

void CPage3::ApplyEnabling() {
  bool on = bookmark_->isChecked();
  for (QWidget* w : choiceWidgets_)
    w->setEnabled(on);
  unit_->setEnabled(on && choice_->checkedId() != 0);
}

void CPage3::Store(app::ConversionSettings& s) const {
  s.bookmark = bookmark_->isChecked() ? 1 : 0;
  s.bookmarksel = choice_->checkedId();
  s.unitforfile = unit_->isChecked() ? 1 : 0;
}

// ---- Colour swatch

ColourSwatch::ColourSwatch(int colour, QWidget* parent) : QWidget(parent), colour_(colour) {
  setFixedSize(40, 20);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

void ColourSwatch::setColour(int c) {
  colour_ = c;
  update();
}

void ColourSwatch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(QPalette::Mid));
  p.setBrush(isEnabled() ? QBrush(ColourFromSetting(colour_)) : palette().brush(QPalette::Window));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  if (hasFocus()) {
    p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(2, 2, -3, -3));
  }
}

void ColourSwatch::mouseReleaseEvent(QMouseEvent*) {
  Choose();
}

void ColourSwatch::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
    Choose();
  else
    QWidget::keyPressEvent(e);
}

void ColourSwatch::Choose() {
  if (!isEnabled()) return;
  if (auto c = CurrentShell().Colour(this, ColourFromSetting(colour_)))
    setColour(SettingFromColour(*c));
}

// ---- Watermark

CPage4::CPage4(const app::ConversionSettings& s, QWidget* parent) : SheetPage(parent) {
  auto* outer = new QVBoxLayout(this);
  auto* group = new QGroupBox(QStringLiteral("Text Watermark"), this);
  auto* grid = new QGridLayout(group);
  outer->addWidget(group);
  outer->addStretch();
  int row = 0;

  // One font serves the header, the footer and the text watermark.
  font_ = FontCombo(s.font, group);
  grid->addWidget(new QLabel(QStringLiteral("Font"), group), row, 0);
  grid->addWidget(font_, row, 1, 1, 5);
  ++row;

  auto macroBlock = [&](Block& b, const QString& title, const QString& prefix, int enabled,
                        const std::string& text, int pos, int colour, ColourSwatch*& swatch) {
    b.enable = Check(title, enabled, prefix == "h" ? "header" : "footer", group);
    b.text = Edit(text, kSettingsTextMax, title + " text", prefix + "Watermark", group);
    b.position = Combo(kAlign, pos, title + " position", prefix + "pos", group);
    auto* macro = Named(new QComboBox(group), title + " macro", prefix + "macro");
    macro->addItems(kMacros);
    macro->setCurrentIndex(-1);
    macro->setPlaceholderText(QStringLiteral("Macro"));
    QLineEdit* edit = b.text;
    connect(macro, &QComboBox::activated, this, [edit, macro](int i) {
      edit->setText(edit->text() + macro->itemText(i));
      macro->setCurrentIndex(-1);
    });
    swatch = Named(new ColourSwatch(colour, group), title + " color", prefix + "color");
    auto* posLabel = new QLabel(QStringLiteral("Position"), group);
    auto* colourLabel = new QLabel(QStringLiteral("Color"), group);
    grid->addWidget(b.enable, row, 0);
    grid->addWidget(b.text, row, 1, 1, 5);
    ++row;
    grid->addWidget(posLabel, row, 1);
    grid->addWidget(b.position, row, 2);
    grid->addWidget(macro, row, 3);
    grid->addWidget(colourLabel, row, 4);
    grid->addWidget(swatch, row, 5);
    ++row;
    b.others = {b.text, b.position, macro, swatch, posLabel, colourLabel};
  };
  macroBlock(header_, QStringLiteral("Page header"), QStringLiteral("h"), s.header, s.hWatermark,
             s.hpos, s.hcolor, hcolor_);
  macroBlock(footer_, QStringLiteral("Page footer"), QStringLiteral("f"), s.footer, s.fWatermark,
             s.fpos, s.fcolor, fcolor_);

  text_.enable = Check(QStringLiteral("Text"), s.text, "text", group);
  text_.text = Edit(s.tWatermark, kSettingsTextMax, "Text watermark", "tWatermark", group);
  text_.position = Combo(kNine, s.tpos, "Text position", "tpos", group);
  tsize_ = Spin(s.tsize, 1, 100, "Text size", "tsize", group);
  tcolor_ = Named(new ColourSwatch(s.tcolor, group), "Text color", "tcolor");
  {
    auto* posLabel = new QLabel(QStringLiteral("Position"), group);
    auto* sizeLabel = new QLabel(QStringLiteral("Size"), group);
    auto* colourLabel = new QLabel(QStringLiteral("Color"), group);
    grid->addWidget(text_.enable, row, 0);
    grid->addWidget(text_.text, row, 1, 1, 5);
    ++row;
    grid->addWidget(posLabel, row, 1);
    grid->addWidget(text_.position, row, 2);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(sizeLabel);
    sizeRow->addWidget(tsize_);
    grid->addLayout(sizeRow, row, 3);
    grid->addWidget(colourLabel, row, 4);
    grid->addWidget(tcolor_, row, 5);
    ++row;
    text_.others = {text_.text, text_.position, tsize_, tcolor_, posLabel, sizeLabel, colourLabel};
  }

  image_.enable = Check(QStringLiteral("Image"), s.image, "image", group);
  image_.text = Edit(s.imgWatermark, kSettingsTextMax, "Image file", "imgWatermark", group);
  auto* browse =
      Named(new QPushButton(QStringLiteral("..."), group), "Choose image file", "imgBrowse");
  browse->setMaximumWidth(32);
  connect(browse, &QPushButton::clicked, this, &CPage4::ChooseImage);
  image_.position = Combo(kNine, s.imgpos, "Image position", "imgpos", group);
  imgWidth_ = Digits(s.imgWidth, 4, "Image width", "imgWidth", group);
  imgHeight_ = Digits(s.imgHeight, 4, "Image height", "imgHeight", group);
  {
    auto* posLabel = new QLabel(QStringLiteral("Position"), group);
    auto* wLabel = new QLabel(QStringLiteral("Width"), group);
    auto* hLabel = new QLabel(QStringLiteral("Height"), group);
    auto* unit = new QLabel(QStringLiteral("pixel"), group);
    grid->addWidget(image_.enable, row, 0);
    grid->addWidget(image_.text, row, 1, 1, 4);
    grid->addWidget(browse, row, 5);
    ++row;
    grid->addWidget(posLabel, row, 1);
    grid->addWidget(image_.position, row, 2);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(wLabel);
    sizeRow->addWidget(imgWidth_);
    sizeRow->addWidget(hLabel);
    sizeRow->addWidget(imgHeight_);
    sizeRow->addWidget(unit);
    grid->addLayout(sizeRow, row, 3, 1, 3);
    image_.others = {image_.text, browse, image_.position, imgWidth_, imgHeight_,
                     posLabel,    wLabel, hLabel,          unit};
  }
  grid->setColumnStretch(1, 1);
  for (Block* b : {&header_, &footer_, &text_, &image_})
    connect(b->enable, &QCheckBox::toggled, this, &CPage4::ApplyEnabling);
  ApplyEnabling();
}

void CPage4::ApplyEnabling() {
  for (Block* b : {&header_, &footer_, &text_, &image_})
    for (QWidget* w : b->others)
      w->setEnabled(b->enable->isChecked());
}

void CPage4::ChooseImage() {
  auto name = CurrentShell().OpenFileName(
      this, QString::fromUtf8(kAppTitle), image_.text->text(),
      QStringLiteral("Supported File (*.jpg *.jpeg *.tif *.tiff *.bmp);;JPEG (*.jpg *.jpeg);;"
                     "TIFF (*.tif *.tiff);;BMP (*.bmp)"));
  if (!name) return;
  image_.text->setText(*name);
  QSize size = ImagePixelSize(*name);
  if (size.isValid()) {
    imgWidth_->setText(QString::number(size.width()));
    imgHeight_->setText(QString::number(size.height()));
  }
}

void CPage4::Store(app::ConversionSettings& s) const {
  s.header = header_.enable->isChecked() ? 1 : 0;
  s.hWatermark = S(header_.text->text());
  s.hpos = header_.position->currentIndex();
  s.hcolor = hcolor_->colour();
  s.footer = footer_.enable->isChecked() ? 1 : 0;
  s.fWatermark = S(footer_.text->text());
  s.fpos = footer_.position->currentIndex();
  s.fcolor = fcolor_->colour();
  s.text = text_.enable->isChecked() ? 1 : 0;
  s.tWatermark = S(text_.text->text());
  s.tpos = text_.position->currentIndex();
  s.tsize = tsize_->value();
  s.tcolor = tcolor_->colour();
  s.font = S(font_->currentText());
  s.image = image_.enable->isChecked() ? 1 : 0;
  s.imgWatermark = S(image_.text->text());
  s.imgpos = image_.position->currentIndex();
  s.imgWidth = Digits(imgWidth_);
  s.imgHeight = Digits(imgHeight_);
}

// ---- Viewer

CPage5::CPage5(const app::ConversionSettings& s, QWidget* parent) : SheetPage(parent) {
  auto* grid = new QGridLayout(this);
  auto* docBox = new QGroupBox(QStringLiteral("Document Options"), this);
  auto* docLayout = new QVBoxLayout(docBox);
  document_ = Radios({"Page only", "Show the bookmark panel", "Show the thumbnail panel"},
                     s.document, "document", docLayout, docBox);
  auto* zoomBox = new QGroupBox(QStringLiteral("Magnification"), this);
  auto* zoomLayout = new QVBoxLayout(zoomBox);
  zoom_ = Radios({"Fit Width", "Fit Page"}, s.zoom, "zoom", zoomLayout, zoomBox);
  auto* winBox = new QGroupBox(QStringLiteral("Window Options"), this);
  auto* winLayout = new QVBoxLayout(winBox);
  resize_ = Check(QStringLiteral("Resize window to the initial page"), s.resize, "resize", winBox);
  center_ = Check(QStringLiteral("Center window on screen"), s.center, "center", winBox);
  fullscreen_ =
      Check(QStringLiteral("Open in Full screen mode"), s.fullscreen, "fullscreen", winBox);
  for (QWidget* w : {resize_, center_, fullscreen_})
    winLayout->addWidget(w);
  auto* uiBox = new QGroupBox(QStringLiteral("User Interface Options"), this);
  auto* uiLayout = new QVBoxLayout(uiBox);
  hideMenu_ = Check(QStringLiteral("Hide Menu Bar"), s.hideMenu, "hideMenu", uiBox);
  hideTool_ = Check(QStringLiteral("Hide Tool Bars"), s.hideTool, "hideTool", uiBox);
  hideControl_ = Check(QStringLiteral("Hide Window Controls"), s.hideControl, "hideControl", uiBox);
  for (QWidget* w : {hideMenu_, hideTool_, hideControl_})
    uiLayout->addWidget(w);
  grid->addWidget(docBox, 0, 0);
  grid->addWidget(zoomBox, 0, 1);
  grid->addWidget(winBox, 1, 0);
  grid->addWidget(uiBox, 1, 1);
  grid->setRowStretch(2, 1);
}

void CPage5::Store(app::ConversionSettings& s) const {
  s.document = document_->checkedId();
  s.zoom = zoom_->checkedId();
  s.resize = resize_->isChecked() ? 1 : 0;
  s.center = center_->isChecked() ? 1 : 0;
  s.fullscreen = fullscreen_->isChecked() ? 1 : 0;
  s.hideMenu = hideMenu_->isChecked() ? 1 : 0;
  s.hideTool = hideTool_->isChecked() ? 1 : 0;
  s.hideControl = hideControl_->isChecked() ? 1 : 0;
}

// ---- Info

CPage6::CPage6(const app::ConversionSettings& s, QWidget* parent) : SheetPage(parent) {
  auto* outer = new QVBoxLayout(this);
  auto* box = new QGroupBox(QStringLiteral("PDF Information"), this);
  auto* form = new QFormLayout(box);
  auto add = [&](const QString& label, const QString& key, const std::string& value) {
    QLineEdit* e = Edit(value, kSettingsTextMax, label, key, box);
    form->addRow(label, e);
    return e;
  };
  title_ = add("Title", "title", s.title);
  author_ = add("Author", "author", s.author);
  subject_ = add("Subject", "subject", s.subject);
  keywords_ = add("Keywords", "keywords", s.keywords);
  creator_ = add("Application", "creator", s.creator);
  producer_ = add("Producer", "producer", s.producer);
  outer->addWidget(box);
  outer->addStretch();
}

void CPage6::Store(app::ConversionSettings& s) const {
  s.title = S(title_->text());
  s.author = S(author_->text());
  s.subject = S(subject_->text());
  s.keywords = S(keywords_->text());
  s.creator = S(creator_->text());
  s.producer = S(producer_->text());
}

// ---- Security

CPage7::CPage7(const app::ConversionSettings& s, QWidget* parent) : SheetPage(parent) {
  auto* v = new QVBoxLayout(this);
  security_ = Check(QStringLiteral("Password Security"), s.security, "security", this);
  v->addWidget(security_);

  auto* openBox = new QGroupBox(QStringLiteral("Require a password to open the document"), this);
  auto* openForm = new QFormLayout(openBox);
  user_ = Edit(s.user, kSettingsTextMax, "Document Open Password", "user", openBox);
  openForm->addRow(QStringLiteral("Document Open Password"), user_);
  auto* permBox = new QGroupBox(QStringLiteral("Use a password to restrict permissions"), this);
  auto* permForm = new QFormLayout(permBox);
  owner_ = Edit(s.owner, kSettingsTextMax, "Permissions Password", "owner", permBox);
  permForm->addRow(QStringLiteral("Permissions Password"), owner_);
  for (QLineEdit* e : {user_, owner_})
    e->setEchoMode(QLineEdit::Password);

  auto* levelBox = new QGroupBox(QStringLiteral("Encryption Level"), this);
  auto* levelLayout = new QHBoxLayout(levelBox);
  std::vector<QWidget*> levels;
  level_ = Radios({"40-bit RC4", "128-bit RC4"}, s.level, "level", levelLayout, levelBox, &levels);
  auto* allowBox = new QGroupBox(QStringLiteral("Permission"), this);
  auto* allowLayout = new QVBoxLayout(allowBox);
  print_ = Check(QStringLiteral("Print Allowed"), s.print, "print", allowBox);
  copy_ = Check(QStringLiteral("Enable Content Copying or Extraction"), s.copy, "copy", allowBox);
  modify_ = Check(QStringLiteral("Enable Changing the Document"), s.modify, "modify", allowBox);
  for (QWidget* w : {print_, copy_, modify_})
    allowLayout->addWidget(w);
  for (QWidget* w : {static_cast<QWidget*>(openBox), static_cast<QWidget*>(permBox),
                     static_cast<QWidget*>(levelBox), static_cast<QWidget*>(allowBox)})
    v->addWidget(w);
  v->addStretch();
  others_ = {openBox, permBox, levelBox, allowBox};
  connect(security_, &QCheckBox::toggled, this, &CPage7::ApplyEnabling);
  ApplyEnabling();
}

void CPage7::ApplyEnabling() {
  for (QWidget* w : others_)
    w->setEnabled(security_->isChecked());
}

void CPage7::Store(app::ConversionSettings& s) const {
  s.security = security_->isChecked() ? 1 : 0;
  s.user = S(user_->text());
  s.owner = S(owner_->text());
  s.level = level_->checkedId();
  s.print = print_->isChecked() ? 1 : 0;
  s.copy = copy_->isChecked() ? 1 : 0;
  s.modify = modify_->isChecked() ? 1 : 0;
}

// ---- Sheet

CMyPropSheet::CMyPropSheet(app::SettingsStore& store, const app::ConversionSettings& settings,
                           QWidget* parent)
    : QDialog(parent), store_(store), settings_(settings) {
  setWindowTitle(QStringLiteral("Settings"));
  setObjectName(QStringLiteral("CMyPropSheet"));
  tabs_ = Named(new QTabWidget(this), "Settings pages", "sheetTabs");
  auto add = [&](SheetPage* page, const QString& title) {
    page->setObjectName(title);
    page->setAccessibleName(title);
    tabs_->addTab(page, title);
    pages_.push_back(page);
  };
  add(new CPage2(settings_), QStringLiteral("Page"));
  add(new CPage3(settings_), QStringLiteral("Bookmark"));
  add(new CPage4(settings_), QStringLiteral("Watermark"));
  add(new CPage5(settings_), QStringLiteral("Viewer"));
  add(new CPage6(settings_), QStringLiteral("Info"));
  add(new CPage7(settings_), QStringLiteral("Security"));
  add(new CPage1(settings_), QStringLiteral("Compress"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Named(buttons->button(QDialogButtonBox::Ok), "OK", "ok");
  Named(buttons->button(QDialogButtonBox::Cancel), "Cancel", "cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &CMyPropSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CMyPropSheet::reject);
  auto* v = new QVBoxLayout(this);
  v->addWidget(tabs_);
  v->addWidget(buttons);
}

void CMyPropSheet::accept() {
  for (SheetPage* page : pages_) {
    if (!page->wasShown()) continue;
    page->Store(settings_);
    app::SaveConversionSettings(store_, settings_, page->group());
  }
  QDialog::accept();
}

bool CMyPropSheet::Edit(app::SettingsStore& store, app::ConversionSettings& settings,
                        app::ProducerMode producer, QWidget* parent) {
  // The monitor's copy carries no producer; the Info page still shows and keeps the stored one.
  app::ConversionSettings shown = settings;
  shown.producer = store.ReadText(*app::FindSettingKey("producer"));
  CMyPropSheet sheet(store, shown, parent);
  if (sheet.exec() != QDialog::Accepted) return false;
  settings = app::LoadConversionSettings(store, producer);
  return true;
}

} // namespace ui
