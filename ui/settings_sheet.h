// The conversion settings sheet: one page per group of keys. Pages start from the caller's
// copy; OK writes the keys of each page that was shown at least once, Cancel writes nothing.
#pragma once

#include <QDialog>
#include <QWidget>

#include <vector>

#include "app/conversion_settings.h"
#include "app/settings_keys.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace app {
class SettingsStore;
}

namespace ui {

class SheetPage : public QWidget {
  Q_OBJECT
public:
  explicit SheetPage(QWidget* parent = nullptr) : QWidget(parent) {}
  // Puts the controls' values into s.
  virtual void Store(app::ConversionSettings& s) const = 0;
  virtual app::SettingGroup group() const = 0;
  bool wasShown() const { return shown_; }

protected:
  void showEvent(QShowEvent* e) override;

private:
  bool shown_ = false;
};

// "Compress"
class CPage1 : public SheetPage {
  Q_OBJECT
public:
  explicit CPage1(const app::ConversionSettings& s, QWidget* parent = nullptr);
  void Store(app::ConversionSettings& s) const override;
  app::SettingGroup group() const override { return app::SettingGroup::kCompress; }

private:
  void ShowQuality();
  QComboBox *color_, *gray_, *bw_;
  QCheckBox *skew_, *lossless_, *autoRotate_;
  QSlider* quality_;
  QLabel* qualityText_;
};

// "Page"
class CPage2 : public SheetPage {
  Q_OBJECT
public:
  explicit CPage2(const app::ConversionSettings& s, QWidget* parent = nullptr);
  void Store(app::ConversionSettings& s) const override;
  app::SettingGroup group() const override { return app::SettingGroup::kPage; }
  void ApplyEnabling();

private:
  void ShowPictures();
  QComboBox *size_, *xdpi_, *ydpi_, *layout_, *angle_;
  QLineEdit *width_, *height_;
  QSpinBox *top_, *left_, *right_, *bottom_;
  QRadioButton *horizontal_, *vertical_, *fit_, *stretch_;
  QCheckBox *repeat_, *border_;
  QLabel *anglePicture_, *fitPicture_;
};

// "Bookmark"
class CPage3 : public SheetPage {
  Q_OBJECT
public:
  explicit CPage3(const app::ConversionSettings& s, QWidget* parent = nullptr);
  void Store(app::ConversionSettings& s) const override;
  app::SettingGroup group() const override { return app::SettingGroup::kBookmark; }
  void ApplyEnabling();

private:
  QCheckBox *bookmark_, *unit_;
  QButtonGroup* choice_;
  std::vector<QWidget*> choiceWidgets_;
};

// A colour swatch: filled with its colour while enabled; a click opens the colour dialog.
class ColourSwatch : public QWidget {
  Q_OBJECT
public:
  explicit ColourSwatch(int colour, QWidget* parent = nullptr);
  int colour() const { return colour_; }
  void setColour(int c);

protected:
  void paintEvent(QPaintEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent*) override;

private:
  void Choose();
  int colour_;
};

// "Watermark"
class CPage4 : public SheetPage {
  Q_OBJECT
public:
  explicit CPage4(const app::ConversionSettings& s, QWidget* parent = nullptr);
  void Store(app::ConversionSettings& s) const override;
  app::SettingGroup group() const override { return app::SettingGroup::kWatermark; }
  void ApplyEnabling();

private:
  struct Block {
    QCheckBox* enable = nullptr;
    QLineEdit* text = nullptr;
    QComboBox* position = nullptr;
    std::vector<QWidget*> others;
  };
  void ChooseImage();
  Block header_, footer_, text_, image_;
  ColourSwatch *hcolor_, *fcolor_, *tcolor_;
  QSpinBox* tsize_;
  QComboBox* font_;
  QLineEdit *imgWidth_, *imgHeight_;
};

// "Viewer"
class CPage5 : public SheetPage {
  Q_OBJECT
public:
  explicit CPage5(const app::ConversionSettings& s, QWidget* parent = nullptr);
  void Store(app::ConversionSettings& s) const override;
  app::SettingGroup group() const override { return app::SettingGroup::kViewer; }

private:
  QButtonGroup *document_, *zoom_;
  QCheckBox *resize_, *center_, *fullscreen_, *hideMenu_, *hideTool_, *hideControl_;
};

// "Info"
class CPage6 : public SheetPage {
  Q_OBJECT
public:
  explicit CPage6(const app::ConversionSettings& s, QWidget* parent = nullptr);
  void Store(app::ConversionSettings& s) const override;
  app::SettingGroup group() const override { return app::SettingGroup::kInfo; }

private:
  QLineEdit *title_, *author_, *subject_, *keywords_, *creator_, *producer_;
};

// "Security"
class CPage7 : public SheetPage {
  Q_OBJECT
public:
  explicit CPage7(const app::ConversionSettings& s, QWidget* parent = nullptr);
  void Store(app::ConversionSettings& s) const override;
  app::SettingGroup group() const override { return app::SettingGroup::kSecurity; }
  void ApplyEnabling();

private:
  QCheckBox *security_, *print_, *copy_, *modify_;
  QLineEdit *user_, *owner_;
  QButtonGroup* level_;
  std::vector<QWidget*> others_;
};

class CMyPropSheet : public QDialog {
  Q_OBJECT
public:
  CMyPropSheet(app::SettingsStore& store, const app::ConversionSettings& settings,
               QWidget* parent = nullptr);
  QTabWidget* tabs() const { return tabs_; }
  const std::vector<SheetPage*>& pages() const { return pages_; }

  // The caller's copy after the sheet: reloaded from the file after OK, unchanged otherwise.
  static bool Edit(app::SettingsStore& store, app::ConversionSettings& settings,
                   app::ProducerMode producer, QWidget* parent);

  void accept() override;

private:
  app::SettingsStore& store_;
  app::ConversionSettings settings_;
  QTabWidget* tabs_;
  std::vector<SheetPage*> pages_;
};

// The text a DPI combo shows for a stored value.
QString DpiText(int dpi);

} // namespace ui
