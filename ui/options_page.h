// The options page: after-conversion action, existing-file policy, process priority and the
// log. Read when shown; written back when hidden or destroyed.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace app {
class SettingsStore;
}

namespace ui {

class OptionsPage : public QWidget {
  Q_OBJECT
public:
  explicit OptionsPage(app::SettingsStore& store, QWidget* parent = nullptr);
  ~OptionsPage() override;

  void Load();
  void Save();

protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

private:
  void ApplyEnabling();

  app::SettingsStore& store_;
  QComboBox *after_, *exists_, *priority_;
  QCheckBox* log_;
  QLineEdit* logPath_;
  QPushButton* browse_;
  bool loaded_ = false;
};

} // namespace ui
