// The monitor page: watches one folder, once or at an interval, with the app's folder
// monitor on a worker thread.
#pragma once

#include <QWidget>

#include <memory>

#include "app/conversion_settings.h"
#include "app/output_paths.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;

namespace app {
class SettingsStore;
class FolderMonitor;
} // namespace app

namespace ui {

class MonitorPage : public QWidget {
  Q_OBJECT
public:
  explicit MonitorPage(app::SettingsStore& store, QWidget* parent = nullptr);
  ~MonitorPage() override;

  bool running() const { return running_; }
  QString stateText() const;

  void StartOrStop();
  void SetOutputMode(app::OutputMode mode);
  void ApplyEnabling();

  void LoadFirstTime();
  void LoadEveryTime();
  void SaveOutput();
  void SaveMonitorKeys();

signals:
  void runningChanged(bool running);
  void runFinished(bool stopped);

protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

private:
  friend class MonitorFrontEndQt;
  void BrowseInput();
  void BrowseOutput();
  void OpenSettings();
  void Start();
  void Ended(bool stopped);
  void SetControlsEnabled(bool enabled);

  app::SettingsStore& store_;
  QLineEdit *input_, *output_, *seconds_;
  QPushButton *browseInput_, *openInput_, *browseOutput_, *openOutput_, *settings_, *start_;
  QCheckBox *subdir_, *delSuccess_, *keepsub_, *winstart_, *autorun_, *runsec_;
  QButtonGroup* modes_;
  QLabel* state_;

  bool firstShown_ = false;
  bool running_ = false;
  app::OutputPaths paths_;
  app::ConversionSettings conv_;
  bool log_ = false;
  std::string logpath_;

  class Engine;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<class MonitorFrontEndQt> front_;
  std::unique_ptr<app::FolderMonitor> monitor_;
  QThread* worker_ = nullptr;
};

} // namespace ui
