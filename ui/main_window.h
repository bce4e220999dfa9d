// The main window: a column of four tabs on the left and the page area on the right. While a
// conversion or monitoring period runs, it refuses to change pages or to close.
#pragma once

#include <QWidget>

class QButtonGroup;
class QStackedWidget;
class QToolButton;

namespace app {
class SettingsStore;
}

namespace ui {

class AboutPage;
class FileListPage;
class MonitorPage;
class OptionsPage;

inline constexpr const char* kConvertingMessage = "Converting, don't allow this operation.";

class MainWindow : public QWidget {
  Q_OBJECT
public:
  explicit MainWindow(app::SettingsStore& store, QWidget* parent = nullptr);
  ~MainWindow() override;

  // 0 file list, 1 monitor, 2 options, 3 about. False (with the warning) while running.
  bool SelectTab(int index);
  int currentTab() const;
  bool running() const { return running_; }

  FileListPage* fileList() const { return fileList_; }
  MonitorPage* monitor() const { return monitor_; }
  OptionsPage* options() const { return options_; }
  AboutPage* about() const { return about_; }
  QToolButton* tab(int i) const;

  // Files from the command line or from a later start: added as rows, window raised.
  void AddFiles(const QStringList& paths);

public slots:
  void SetRunning(bool running);

protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

private:
  app::SettingsStore& store_;
  QButtonGroup* tabs_;
  QStackedWidget* pages_;
  FileListPage* fileList_;
  MonitorPage* monitor_;
  OptionsPage* options_;
  AboutPage* about_;
  bool running_ = false;
};

} // namespace ui
