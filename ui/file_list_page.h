// The file-list page: collects image files, picks the output mode and location, opens the
// settings sheet and runs the conversion on a worker thread.
#pragma once

#include <QWidget>

#include <atomic>
#include <memory>
#include <vector>

#include "app/conversion_settings.h"
#include "app/output_paths.h"
#include "app/run_settings.h"
#include "app/supported_types.h"
#include "ui/file_list_model.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;
class QThread;

namespace app {
class SettingsStore;
class JobDriver;
} // namespace app

namespace ui {

class FileListPage : public QWidget {
  Q_OBJECT
public:
  explicit FileListPage(app::SettingsStore& store, QWidget* parent = nullptr);
  ~FileListPage() override;

  FileListModel* model() const { return model_; }
  QTableView* view() const { return view_; }
  bool running() const { return running_; }

  // Adds existing, readable files as rows (no type test); the last one becomes the selection.
  void AddFiles(const QStringList& paths);
  // Files and folders from outside (drops, the command line, a later start): folders are
  // ignored and only supported files are added. Held back while a run goes on.
  void AddPaths(const QStringList& paths);

  // The list actions of the buttons, keys and context menu.
  void AddFilesDialog();
  void AddFolderDialog();
  void RemoveSelected();
  void ClearAll();
  void MoveUp();
  void MoveDown();
  void SelectAll();
  QList<int> selectedRows() const;
  void SelectRows(const QList<int>& rows);

  void SetOutputMode(app::OutputMode mode);
  app::OutputMode outputMode() const { return paths_.mode; }
  const app::OutputPaths& outputPaths() const { return paths_; }
  void BrowseOutput();
  void OpenSettings();

  // Convert, or Stop while running.
  void ConvertOrStop();

  // The context menu as it is for the current rows and selection.
  std::unique_ptr<QMenu> BuildContextMenu();

  void LoadSettings();
  void SaveSettings();

signals:
  void runningChanged(bool running);
  void runFinished(bool stopped);

protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  bool eventFilter(QObject* o, QEvent* e) override;

private:
  friend class FileListFrontEnd;
  void UpdateButtons();
  void UpdateOutputs();
  void SetControlsEnabled(bool enabled);
  void StartRun();
  void RunEnded(bool stopped);
  void ShowProgress(int done, int total);
  app::RunSettings OutputSettings() const;
  QString ExpectedOutput(const QString& path) const;

  app::SettingsStore& store_;
  app::SupportedTypes types_;
  FileListModel* model_;
  QTableView* view_;
  QPushButton *add_, *addFolder_, *remove_, *up_, *down_, *convert_, *settings_, *browse_, *open_;
  QButtonGroup* modes_;
  QLineEdit* output_;
  QProgressBar* progress_;
  QLabel* progressText_;

  app::OutputPaths paths_;
  app::ConversionSettings conv_;
  bool log_ = false;
  std::string logpath_;
  bool running_ = false;
  QStringList heldBack_;

  QThread* worker_ = nullptr;
  std::unique_ptr<app::JobDriver> driver_;
  class Engine;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<class FileListFrontEnd> front_;
  int done_ = 0;
};

// The Format Filter entries of the Add Folder dialog, "All Support" first.
QStringList FormatFilterNames();
// Every supported file of a folder: its own files first, then each sub-folder when asked.
QStringList CollectFolder(const QString& folder, bool subfolders, int filter);

} // namespace ui
