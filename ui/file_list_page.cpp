#include "ui/file_list_page.h"

#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "app/after_action.h"
#include "app/engine_api.h"
#include "app/input_collection.h"
#include "app/job_driver.h"
#include "app/settings_store.h"
#include "ui/settings_sheet.h"
#include "ui/shell.h"
#include "ui/system_actions.h"
#include "ui/widgets.h"

namespace ui {

class FileListPage::Engine : public app::EngineApi {};

// The driver's calls arrive on the worker thread; each is carried to the page on the UI
// thread. The save question of "Ask always" waits there for the user's answer.
class FileListFrontEnd : public app::DriverFrontEnd {
public:
  explicit FileListFrontEnd(FileListPage* page) : page_(page) {}

  void RowsReordered(const std::vector<int>& newOrder) override {
    Post([newOrder](FileListPage* p) {
      std::vector<FileRow> rows;
      rows.reserve(newOrder.size());
      for (int old : newOrder)
        rows.push_back(p->model_->rows()[static_cast<size_t>(old)]);
      p->model_->ReplaceAll(std::move(rows));
    });
  }
  void SelectRow(int row) override {
    Post([row](FileListPage* p) { p->SelectRows({row}); });
  }
  void RowStarted(int, const std::string&, int n, int m) override {
    Post([n, m](FileListPage* p) { p->ShowProgress(n - 1, m); });
  }
  void FrameDone(int, int frame, int frames) override {
    // A long multi-page file moves the count too.
    if (frames > 1)
      Post([frame, frames](FileListPage* p) {
        p->progressText_->setText(QStringLiteral("%1 of %2 (page %3 of %4)")
                                      .arg(p->done_ + 1)
                                      .arg(p->progress_->maximum())
                                      .arg(frame + 1)
                                      .arg(frames));
      });
  }
  void RowFinished(int row, const app::ListRecord& record) override {
    Post([row, record](FileListPage* p) {
      p->model_->row(row).processed = record.processed;
      p->model_->SetStatus(row, QString::fromUtf8(app::StatusText(record.status)),
                           Q(record.reason));
      ++p->done_;
      p->ShowProgress(p->done_, p->progress_->maximum());
    });
  }
  void ShowOutputName(const std::string& path) override {
    Post([s = Q(path)](FileListPage* p) { p->output_->setText(s); });
  }
  std::optional<std::string> AskSaveName(const std::string& existing) override {
    std::optional<QString> answer;
    QMetaObject::invokeMethod(
        page_, [p = page_, &answer, e = Q(existing)] { answer = CurrentShell().SavePdfName(p, e); },
        Qt::BlockingQueuedConnection);
    if (!answer) return std::nullopt;
    return S(*answer);
  }

private:
  template <typename F> void Post(F f) {
    QMetaObject::invokeMethod(
        page_, [p = page_, f = std::move(f)] { f(p); }, Qt::QueuedConnection);
  }
  FileListPage* page_;
};

QStringList FormatFilterNames() {
  QStringList names;
  for (const std::string& l : app::CurrentSupportedTypes().FilterLabels())
    names << Q(l);
  return names;
}

QStringList CollectFolder(const QString& folder, bool subfolders, int filter) {
  app::CollectOptions options;
  options.recursive = subfolders;
  options.filter = filter;
  options.order = app::InputOrder::kFolderFirst;
  QStringList found;
  for (const std::string& f : app::ScanFolder(S(folder), app::CurrentSupportedTypes(), options))
    found << Q(f);
  return found;
}

FileListPage::FileListPage(app::SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store), types_(app::CurrentSupportedTypes()),
      engine_(std::make_unique<Engine>()), front_(std::make_unique<FileListFrontEnd>(this)) {
  setObjectName(QStringLiteral("FileListPage"));
  model_ = new FileListModel(this);
  view_ = Named(new QTableView(this), "Image Files", "fileList");
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  view_->setShowGrid(false);
  view_->setAlternatingRowColors(true);
  view_->setWordWrap(false);
  view_->setTextElideMode(Qt::ElideLeft);
  view_->setContextMenuPolicy(Qt::DefaultContextMenu);
  view_->horizontalHeader()->setStretchLastSection(false);
  const int widths[] = {140, 70, 70, 100, 60};
  for (int c = 0; c < FileListModel::kColumnCount; ++c)
    view_->setColumnWidth(c, widths[c]);
  view_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  view_->horizontalHeader()->setSectionResizeMode(FileListModel::kOutput, QHeaderView::Stretch);
  view_->setAcceptDrops(true);
  view_->viewport()->setAcceptDrops(true);
  view_->setDragDropMode(QAbstractItemView::DropOnly);
  view_->installEventFilter(this);
  view_->viewport()->installEventFilter(this);

  auto button = [this](const QString& text, const QString& name, const QString& object) {
    return Named(new QPushButton(text, this), name, object);
  };
  add_ = button("Add", "Add", "add");
  addFolder_ = button("...", "Add Folder", "addFolder");
  addFolder_->setMaximumWidth(32);
  remove_ = button("Remove", "Remove", "remove");
  up_ = button("Up", "Up", "up");
  down_ = button("Down", "Down", "down");
  settings_ = button("Settings", "Settings", "settings");
  convert_ = button("Convert", "Convert", "convert");
  convert_->setDefault(false);
  convert_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(addFolder_);
  buttons->addWidget(remove_);
  buttons->addWidget(up_);
  buttons->addWidget(down_);
  buttons->addStretch();
  buttons->addWidget(settings_);
  buttons->addWidget(convert_);

  progress_ = Named(new QProgressBar(this), "Progress", "progress");
  progress_->setTextVisible(false);
  progressText_ = Named(new QLabel(this), "Progress count", "progressText");
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(progressText_);
  progress_->hide();
  progressText_->hide();

  modes_ = new QButtonGroup(this);
  const QStringList modeTexts = {"Merge into single PDF", "Create individual PDF per image",
                                 "Create individual PDF per directory"};
  auto* modeRow = new QHBoxLayout;
  for (int i = 0; i < modeTexts.size(); ++i) {
    auto* r =
        Named(new QRadioButton(modeTexts[i], this), modeTexts[i], QStringLiteral("mode%1").arg(i));
    modes_->addButton(r, i);
    modeRow->addWidget(r);
  }
  modeRow->addStretch();
  modes_->button(0)->setChecked(true);
  output_ = Named(new QLineEdit(this), "Output Folder", "output");
  output_->setReadOnly(true);
  browse_ = button("...", "Choose output", "browseOutput");
  browse_->setMaximumWidth(32);
  open_ = button("Open", "Open", "openOutput");
  auto* outRow = new QHBoxLayout;
  outRow->addWidget(new QLabel(QStringLiteral("Output Folder"), this));
  outRow->addWidget(output_, 1);
  outRow->addWidget(browse_);
  outRow->addWidget(open_);

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->addLayout(buttons);
  v->addWidget(view_, 1);
  v->addLayout(progressRow);
  v->addLayout(modeRow);
  v->addLayout(outRow);

  connect(add_, &QPushButton::clicked, this, &FileListPage::AddFilesDialog);
  connect(addFolder_, &QPushButton::clicked, this, &FileListPage::AddFolderDialog);
  connect(remove_, &QPushButton::clicked, this, &FileListPage::RemoveSelected);
  connect(up_, &QPushButton::clicked, this, &FileListPage::MoveUp);
  connect(down_, &QPushButton::clicked, this, &FileListPage::MoveDown);
  connect(settings_, &QPushButton::clicked, this, &FileListPage::OpenSettings);
  connect(convert_, &QPushButton::clicked, this, &FileListPage::ConvertOrStop);
  connect(browse_, &QPushButton::clicked, this, &FileListPage::BrowseOutput);
  connect(open_, &QPushButton::clicked, this, [this] { CurrentShell().Open(output_->text()); });
  connect(modes_, &QButtonGroup::idClicked, this,
          [this](int id) { SetOutputMode(static_cast<app::OutputMode>(id)); });
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &FileListPage::UpdateButtons);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &FileListPage::UpdateButtons);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &FileListPage::UpdateButtons);
  connect(model_, &QAbstractItemModel::modelReset, this, &FileListPage::UpdateButtons);
  UpdateButtons();
}

FileListPage::~FileListPage() {
  if (worker_) {
    driver_->RequestStop();
    worker_->wait();
  }
  SaveSettings();
}

void FileListPage::LoadSettings() {
  log_ = store_.ReadInt("log", 0) == 1;
  logpath_ = store_.ReadText("logpath", "");
  paths_ = app::LoadOutputPaths(store_);
  int mode = static_cast<int>(paths_.mode);
  if (mode < 0 || mode > 2) paths_.mode = app::OutputMode::kMerge;
  modes_->button(static_cast<int>(paths_.mode))->setChecked(true);
  output_->setText(Q(paths_.ForMode(paths_.mode)));
  conv_ = app::LoadConversionSettings(store_);
  UpdateOutputs();
}

void FileListPage::SaveSettings() {
  if (paths_.mergeFile.empty()) return; // never shown: nothing was read
  app::SaveOutputPaths(store_, paths_);
}

void FileListPage::showEvent(QShowEvent* e) {
  if (!running_) LoadSettings();
  QWidget::showEvent(e);
}

void FileListPage::hideEvent(QHideEvent* e) {
  SaveSettings();
  QWidget::hideEvent(e);
}

app::RunSettings FileListPage::OutputSettings() const {
  app::RunSettings run;
  run.mode = paths_.mode;
  run.outPath0 = paths_.mergeFile;
  run.outPath1 = paths_.perImageFolder;
  run.outPath2 = paths_.perFolderFolder;
  return run;
}

QString FileListPage::ExpectedOutput(const QString& path) const {
  return Q(app::ExpectedOutput(OutputSettings(), S(path)));
}

void FileListPage::ShowProgress(int done, int total) {
  progress_->setRange(0, total);
  progress_->setValue(done);
  progressText_->setText(QStringLiteral("%1 of %2").arg(done).arg(total));
}

void FileListPage::UpdateOutputs() {
  app::RunSettings run = OutputSettings();
  model_->SetOutputs([&run](const QString& p) { return Q(app::ExpectedOutput(run, S(p))); });
}

void FileListPage::AddFiles(const QStringList& paths) {
  std::vector<FileRow> rows;
  rows.reserve(static_cast<size_t>(paths.size()));
  app::RunSettings run = OutputSettings();
  for (const QString& p : paths) {
    QFile file(p);
    if (!file.open(QIODevice::ReadOnly)) continue;
    FileRow r;
    r.path = QFileInfo(p).absoluteFilePath();
    std::string path = S(p);
    r.size = Q(app::SizeColumnText(static_cast<unsigned long long>(file.size())));
    r.type = Q(app::TypeColumnText(path));
    r.output = Q(app::ExpectedOutput(run, path));
    rows.push_back(std::move(r));
  }
  if (rows.empty()) return;
  model_->Append(std::move(rows));
  int last = model_->rowCount() - 1;
  SelectRows({last});
}

void FileListPage::AddPaths(const QStringList& paths) {
  if (running_) {
    heldBack_ << paths;
    return;
  }
  QStringList files;
  for (const QString& p : paths) {
    QFileInfo f(p);
    if (f.exists() && !f.isDir() && types_.IsSupported(S(p))) files << f.absoluteFilePath();
  }
  AddFiles(files);
}

void FileListPage::AddFilesDialog() {
  if (running_) return;
  QString start = Q(store_.ReadText(*app::FindSettingKey("OpenFile")));
  QStringList names = CurrentShell().OpenFileNames(this, QString::fromUtf8(kAppTitle), start,
                                                   Q(types_.OpenDialogFilter()));
  if (names.isEmpty()) return;
  AddFiles(names);
  QString folder = QFileInfo(names.last()).absolutePath();
  if (!folder.endsWith('/')) folder += '/';
  store_.WriteText("OpenFile", S(folder));
}

void FileListPage::AddFolderDialog() {
  if (running_) return;
  FolderChoice start;
  start.folder = Q(store_.ReadText(*app::FindSettingKey("openDir")));
  start.includeSubfolders = store_.ReadInt("subdir", 0) == 1;
  auto choice = CurrentShell().AddFolder(this, start, FormatFilterNames());
  if (!choice) return;
  store_.WriteMany(
      {{"openDir", S(choice->folder)}, {"subdir", choice->includeSubfolders ? "1" : "0"}});
  AddFiles(CollectFolder(choice->folder, choice->includeSubfolders, choice->formatFilter));
}

QList<int> FileListPage::selectedRows() const {
  QList<int> rows;
  for (const QModelIndex& i : view_->selectionModel()->selectedRows())
    rows << i.row();
  std::sort(rows.begin(), rows.end());
  return rows;
}

void FileListPage::SelectRows(const QList<int>& rows) {
  QItemSelection sel;
  for (int r : rows)
    if (r >= 0 && r < model_->rowCount())
      sel.select(model_->index(r, 0), model_->index(r, FileListModel::kColumnCount - 1));
  view_->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
  if (!rows.isEmpty() && rows.first() >= 0 && rows.first() < model_->rowCount()) {
    view_->selectionModel()->setCurrentIndex(model_->index(rows.last(), 0),
                                             QItemSelectionModel::NoUpdate);
    view_->scrollTo(model_->index(rows.first(), 0));
  }
}

void FileListPage::RemoveSelected() {
  if (running_) return;
  QList<int> rows = selectedRows();
  if (rows.isEmpty()) return;
  if (rows.size() > 1 &&
      !CurrentShell().Confirm(this, QStringLiteral("Are you sure to delete selected item(s)?")))
    return;
  int top = rows.first();
  model_->Remove(std::vector<int>(rows.begin(), rows.end()));
  if (model_->rowCount() > 0) SelectRows({std::max(0, top - 1)});
}

void FileListPage::ClearAll() {
  if (running_ || model_->rowCount() == 0) return;
  if (!CurrentShell().Confirm(this, QStringLiteral("Are you sure to clear all items?"))) return;
  model_->Clear();
}

void FileListPage::MoveUp() {
  if (running_) return;
  QList<int> rows = selectedRows();
  if (rows.isEmpty() || rows.first() == 0) return;
  for (int& r : rows) {
    model_->Swap(r, r - 1);
    --r;
  }
  SelectRows(rows);
}

void FileListPage::MoveDown() {
  if (running_) return;
  QList<int> rows = selectedRows();
  if (rows.isEmpty() || rows.last() == model_->rowCount() - 1) return;
  for (int i = static_cast<int>(rows.size()) - 1; i >= 0; --i) {
    model_->Swap(rows[i], rows[i] + 1);
    ++rows[i];
  }
  SelectRows(rows);
}

void FileListPage::SelectAll() {
  if (running_) return;
  view_->selectAll();
}

void FileListPage::UpdateButtons() {
  if (running_) return;
  bool any = model_->rowCount() > 0;
  bool selected = view_->selectionModel()->hasSelection();
  convert_->setEnabled(any);
  remove_->setEnabled(any && selected);
  up_->setEnabled(any && selected);
  down_->setEnabled(any && selected);
}

void FileListPage::SetOutputMode(app::OutputMode mode) {
  if (running_) return;
  paths_.mode = mode;
  modes_->button(static_cast<int>(mode))->setChecked(true);
  output_->setText(Q(paths_.ForMode(mode)));
  UpdateOutputs();
}

void FileListPage::BrowseOutput() {
  if (running_) return;
  if (paths_.mode == app::OutputMode::kMerge) {
    auto name = CurrentShell().SavePdfName(this, Q(paths_.mergeFile));
    if (!name) return;
    QString n = *name;
    if (!n.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) n += QStringLiteral(".pdf");
    paths_.mergeFile = S(n);
  } else {
    auto dir = CurrentShell().Folder(this, QStringLiteral("Please choose destination folder:"),
                                     Q(paths_.ForMode(paths_.mode)));
    if (!dir) return;
    QString d = *dir;
    if (!d.endsWith('/')) d += '/';
    (paths_.mode == app::OutputMode::kPerImage ? paths_.perImageFolder : paths_.perFolderFolder) =
        S(d);
  }
  output_->setText(Q(paths_.ForMode(paths_.mode)));
  UpdateOutputs();
}

void FileListPage::OpenSettings() {
  if (running_) return;
  CMyPropSheet::Edit(store_, conv_, app::ProducerMode::kInclude, this);
}

std::unique_ptr<QMenu> FileListPage::BuildContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  bool any = model_->rowCount() > 0;
  bool selected = view_->selectionModel()->hasSelection();
  menu->addAction(QStringLiteral("Add File(s)..."), this, &FileListPage::AddFilesDialog);
  menu->addAction(QStringLiteral("Add Folder..."), this, &FileListPage::AddFolderDialog);
  menu->addSeparator();
  menu->addAction(QStringLiteral("Remove\tDel"), this, &FileListPage::RemoveSelected)
      ->setEnabled(selected);
  menu->addAction(QStringLiteral("Clear All"), this, &FileListPage::ClearAll)->setEnabled(any);
  menu->addSeparator();
  menu->addAction(QStringLiteral("Up"), this, &FileListPage::MoveUp)->setEnabled(selected);
  menu->addAction(QStringLiteral("Down"), this, &FileListPage::MoveDown)->setEnabled(selected);
  menu->addSeparator();
  menu->addAction(QStringLiteral("Select All\tCtrl+A"), this, &FileListPage::SelectAll)
      ->setEnabled(any);
  menu->addSeparator();
  menu->addAction(QStringLiteral("Open Source File"), this, [this] {
    QList<int> rows = selectedRows();
    if (!rows.isEmpty())
      CurrentShell().Open(model_->rows()[static_cast<size_t>(rows.first())].path);
  });
  menu->addAction(QStringLiteral("Open Output"), this, [this] {
    QList<int> rows = selectedRows();
    if (!rows.isEmpty())
      CurrentShell().Open(
          QFileInfo(model_->rows()[static_cast<size_t>(rows.first())].output).absolutePath());
  });
  return menu;
}

bool FileListPage::eventFilter(QObject* o, QEvent* e) {
  switch (e->type()) {
  case QEvent::KeyPress: {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || k->key() == Qt::Key_Escape)
      return true;
    if (running_) return true;
    if (k->key() == Qt::Key_Delete) {
      RemoveSelected();
      return true;
    }
    if (k->matches(QKeySequence::SelectAll)) {
      SelectAll();
      return true;
    }
    return false;
  }
  case QEvent::ContextMenu: {
    if (running_) return true;
    auto* c = static_cast<QContextMenuEvent*>(e);
    BuildContextMenu()->exec(c->globalPos());
    return true;
  }
  case QEvent::DragEnter:
  case QEvent::DragMove: {
    auto* d = static_cast<QDropEvent*>(e);
    if (!running_ && d->mimeData()->hasUrls()) {
      d->setDropAction(Qt::CopyAction);
      d->accept();
    } else {
      d->ignore();
    }
    return true;
  }
  case QEvent::Drop: {
    auto* d = static_cast<QDropEvent*>(e);
    if (running_) return true;
    QStringList paths;
    for (const QUrl& u : d->mimeData()->urls())
      if (u.isLocalFile()) paths << u.toLocalFile();
    AddPaths(paths);
    d->acceptProposedAction();
    return true;
  }
  default:
    return QWidget::eventFilter(o, e);
  }
}

void FileListPage::SetControlsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{add_, addFolder_, remove_, up_, down_,
                                                    settings_, browse_, open_})
    w->setEnabled(enabled);
  for (QAbstractButton* b : modes_->buttons())
    b->setEnabled(enabled);
}

void FileListPage::ConvertOrStop() {
  if (running_) {
    if (driver_) driver_->RequestStop();
    return;
  }
  if (model_->rowCount() == 0) {
    CurrentShell().Message(this, QMessageBox::Critical,
                           QStringLiteral("Can't convert, please add files first!"));
    return;
  }
  StartRun();
}

void FileListPage::StartRun() {
  app::RunSettings run = OutputSettings();
  run.policy = app::ReadExistingFilePolicy(store_);
  run.log = log_;
  run.logpath = logpath_;
  run.conv = conv_;

  bool resume = false;
  if (run.mode == app::OutputMode::kPerImage) {
    int processed = 0;
    for (const FileRow& r : model_->rows())
      processed += r.processed ? 1 : 0;
    if (processed > 0 && processed < model_->rowCount())
      resume = CurrentShell().AskYesNo(
          this, QStringLiteral("Some files has been processed,\nYes = Continue convert, No = New "
                               "convert"));
  }
  if (!resume) {
    for (int i = 0; i < model_->rowCount(); ++i) {
      model_->row(i).processed = false;
      model_->SetStatus(i, QStringLiteral("-"));
    }
  }

  auto records = std::make_shared<std::vector<app::ListRecord>>();
  records->reserve(model_->rows().size());
  for (const FileRow& r : model_->rows()) {
    app::ListRecord rec(S(r.path));
    rec.processed = r.processed;
    records->push_back(std::move(rec));
  }

  running_ = true;
  done_ = 0;
  convert_->setText(QStringLiteral("Stop"));
  convert_->setAccessibleName(QStringLiteral("Stop"));
  SetControlsEnabled(false);
  int total = model_->rowCount();
  if (resume) {
    total = 0;
    for (const FileRow& r : model_->rows())
      total += r.processed ? 0 : 1;
  }
  ShowProgress(0, total);
  progress_->show();
  progressText_->show();
  emit runningChanged(true);

  driver_ = std::make_unique<app::JobDriver>(*engine_, *front_, run);
  app::SettingsStore* store = &store_;
  worker_ = QThread::create([this, records, resume, store] {
    app::RunResult result = driver_->Run(*records, resume);
    if (!result.stopped) {
      // The merge document's name is the one actually written (a numbered one, say).
      const app::RunSettings& run = driver_->settings();
      std::string location =
          run.mode == app::OutputMode::kMerge ? result.lastOutput : run.OutputForMode();
      app::PerformAfterAction(CurrentSystemActions(), app::ReadAfterAction(*store), location);
    }
    bool stopped = result.stopped;
    QMetaObject::invokeMethod(
        this, [this, stopped] { RunEnded(stopped); }, Qt::QueuedConnection);
  });
  worker_->start();
}

void FileListPage::RunEnded(bool stopped) {
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  driver_.reset();
  running_ = false;
  convert_->setText(QStringLiteral("Convert"));
  convert_->setAccessibleName(QStringLiteral("Convert"));
  SetControlsEnabled(true);
  progress_->hide();
  progressText_->hide();
  if (model_->rowCount() > 0) SelectRows({0});
  UpdateButtons();
  emit runningChanged(false);
  emit runFinished(stopped);
  if (!heldBack_.isEmpty()) {
    QStringList held;
    held.swap(heldBack_);
    AddPaths(held);
  }
}

} // namespace ui
