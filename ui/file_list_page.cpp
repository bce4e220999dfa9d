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
#include "app/job_driver.h"
#include "app/monitor.h"
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

  void SelectRow(int row) override {
    QMetaObject::invokeMethod(
        page_, [p = page_, row] { p->SelectRows({row}); }, Qt::QueuedConnection);
  }
  void SetRowStatus(int row, const std::string& status) override {
    QMetaObject::invokeMethod(
        page_, [p = page_, row, s = Q(status)] { p->model_->SetStatus(row, s); },
        Qt::QueuedConnection);
  }
  void ShowOutputName(const std::string& path) override {
    QMetaObject::invokeMethod(
        page_, [p = page_, s = Q(path)] { p->output_->setText(s); }, Qt::QueuedConnection);
  }
  std::optional<std::string> AskSaveName(const std::string& existing) override {
    std::optional<QString> answer;
    QMetaObject::invokeMethod(
        page_, [p = page_, &answer, e = Q(existing)] { answer = CurrentShell().SavePdfName(p, e); },
        Qt::BlockingQueuedConnection);
    if (!answer) return std::nullopt;
    return S(*answer);
  }
  void FileDone(int row, const std::string&, int) override {
    QMetaObject::invokeMethod(
        page_,
        [p = page_] {
          ++p->done_;
          p->progress_->setValue(p->done_);
          p->progressText_->setText(
              QStringLiteral("%1 of %2").arg(p->done_).arg(p->progress_->maximum()));
        },
        Qt::QueuedConnection);
  }

private:
  FileListPage* page_;
};

namespace {

const QStringList kFilterNames = {"All Support", "JPG", "JP2", "JPC", "BMP", "TIF",
                                  "PNG",         "GIF", "PNM", "TGA", "PCX", "ICO"};

QString LowerExtension(const QString& path) {
  QString name = QFileInfo(path).fileName();
  int dot = name.lastIndexOf('.');
  return dot < 0 ? QString() : name.mid(dot).toLower();
}

bool IsSupported(const QString& path) {
  return app::IsSupportedFile(S(path));
}

} // namespace

QStringList FormatFilterNames() {
  return kFilterNames;
}

bool PassesFormatFilter(const QString& path, int filter) {
  if (filter <= 0 || filter >= kFilterNames.size()) return IsSupported(path);
  QString ext = LowerExtension(path);
  if (ext == ".tiff") ext = ".tif";
  if (ext == ".jpeg") ext = ".jpg";
  return ext == "." + kFilterNames[filter].toLower();
}

QStringList CollectFolder(const QString& folder, bool subfolders, int filter) {
  QStringList found;
  QDir dir(folder);
  const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
  for (const QFileInfo& f : files)
    if (PassesFormatFilter(f.fileName(), filter)) found << f.filePath();
  if (subfolders) {
    const QFileInfoList dirs =
        dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo& d : dirs)
      found << CollectFolder(d.filePath(), true, filter);
  }
  return found;
}

FileListPage::FileListPage(app::SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store), engine_(std::make_unique<Engine>()),
      front_(std::make_unique<FileListFrontEnd>(this)) {
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
  view_->horizontalHeader()->setStretchLastSection(true);
  const int widths[] = {140, 70, 70, 100, 60};
  for (int c = 0; c < FileListModel::kColumnCount; ++c)
    view_->setColumnWidth(c, widths[c]);
  view_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  view_->horizontalHeader()->setSectionResizeMode(FileListModel::kStatus, QHeaderView::Interactive);
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
    driver_->stopRequested = true;
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

QString FileListPage::ExpectedOutput(const QString& path) const {
  QFileInfo f(path);
  switch (paths_.mode) {
  case app::OutputMode::kPerImage:
    return Q(paths_.perImageFolder) + f.completeBaseName() + ".pdf";
  case app::OutputMode::kPerFolder: {
    QString folder = f.absoluteDir().dirName();
    if (folder.isEmpty() || folder == "/") folder = QStringLiteral("root");
    return Q(paths_.perFolderFolder) + folder + ".pdf";
  }
  default:
    return Q(paths_.mergeFile);
  }
}

void FileListPage::UpdateOutputs() {
  model_->SetOutputs([this](const QString& p) { return ExpectedOutput(p); });
}

void FileListPage::AddFiles(const QStringList& paths) {
  std::vector<FileRow> rows;
  rows.reserve(static_cast<size_t>(paths.size()));
  for (const QString& p : paths) {
    QFile file(p);
    if (!file.open(QIODevice::ReadOnly)) continue;
    FileRow r;
    r.path = p;
    r.size = SizeText(file.size());
    r.type = TypeText(p);
    r.output = ExpectedOutput(p);
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
    if (f.exists() && !f.isDir() && IsSupported(p)) files << f.absoluteFilePath();
  }
  AddFiles(files);
}

void FileListPage::AddFilesDialog() {
  if (running_) return;
  QString start = Q(store_.ReadText(*app::FindSettingKey("OpenFile")));
  QStringList names = CurrentShell().OpenFileNames(
      this, QString::fromUtf8(kAppTitle), start,
      QStringLiteral("All Support (*.jpg *.jpeg *.jp2 *.j2k *.jpc *.bmp *.tif *.tiff *.png *.gif "
                     "*.pnm *.pbm *.pgm *.ppm *.tga *.pcx *.ico *.ras *.psd *.webp);;"
                     "Joint Photographic Experts Group (*.jpg *.jpeg);;JPEG2000 (*.jp2);;"
                     "JPEG2000 Code Stream (*.jpc);;Windows Bitmap (*.bmp);;"
                     "Tagged Image File (*.tif *.tiff);;Portable Network Graphics (*.png);;"
                     "All Files (*)"));
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
    if (driver_) driver_->stopRequested = true;
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
  app::RunSettings run;
  run.mode = paths_.mode;
  run.outPath0 = paths_.mergeFile;
  run.outPath1 = paths_.perImageFolder;
  run.outPath2 = paths_.perFolderFolder;
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
  // Per-folder documents take their rows in path order; the list shows that order too.
  if (run.mode == app::OutputMode::kPerFolder) {
    std::vector<FileRow> rows = model_->rows();
    std::stable_sort(rows.begin(), rows.end(), [](const FileRow& a, const FileRow& b) {
      return a.path.toStdString() < b.path.toStdString();
    });
    model_->ReplaceAll(std::move(rows));
  }

  auto records = std::make_shared<std::vector<app::ListRecord>>();
  for (const FileRow& r : model_->rows()) {
    app::ListRecord rec;
    rec.path = S(r.path);
    rec.processed = r.processed;
    rec.status = S(r.status);
    records->push_back(std::move(rec));
  }

  running_ = true;
  done_ = 0;
  convert_->setText(QStringLiteral("Stop"));
  convert_->setAccessibleName(QStringLiteral("Stop"));
  SetControlsEnabled(false);
  progress_->setRange(0, model_->rowCount());
  progress_->setValue(0);
  progressText_->setText(QStringLiteral("0 of %1").arg(model_->rowCount()));
  progress_->show();
  progressText_->show();
  emit runningChanged(true);

  driver_ = std::make_unique<app::JobDriver>(*engine_, *front_, run);
  app::SettingsStore* store = &store_;
  std::string folderLocation = run.mode == app::OutputMode::kPerImage    ? run.outPath1
                               : run.mode == app::OutputMode::kPerFolder ? run.outPath2
                                                                         : std::string();
  bool merge = run.mode == app::OutputMode::kMerge;
  worker_ = QThread::create([this, records, resume, store, folderLocation, merge] {
    bool finished = driver_->Run(*records, resume);
    if (finished) {
      // The merge document's name is the one actually written (a numbered one, say).
      std::string location = merge ? driver_->lastOutput() : folderLocation;
      app::PerformAfterAction(CurrentSystemActions(), app::ReadAfterAction(*store), location);
    }
    QMetaObject::invokeMethod(
        this,
        [this, finished, records] {
          std::vector<FileRow> rows = model_->rows();
          for (size_t i = 0; i < rows.size() && i < records->size(); ++i) {
            rows[i].processed = (*records)[i].processed;
            rows[i].status = Q((*records)[i].status);
          }
          RunEnded(!finished, rows);
        },
        Qt::QueuedConnection);
  });
  worker_->start();
}

void FileListPage::RunEnded(bool stopped, const std::vector<FileRow>& finalRows) {
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  driver_.reset();
  for (size_t i = 0; i < finalRows.size(); ++i) {
    model_->row(static_cast<int>(i)).processed = finalRows[i].processed;
    model_->SetStatus(static_cast<int>(i), finalRows[i].status);
  }
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
