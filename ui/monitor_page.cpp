#include "ui/monitor_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QVBoxLayout>

#include "app/after_action.h"
#include "app/engine_api.h"
#include "app/monitor.h"
#include "app/settings_store.h"
#include "platform/autostart.h"
#include "platform/paths.h"
#include "ui/settings_sheet.h"
#include "ui/shell.h"
#include "ui/system_actions.h"
#include "ui/widgets.h"

namespace ui {

class MonitorPage::Engine : public app::EngineApi {};

// Monitor calls arrive on the worker thread and are carried to the page.
class MonitorFrontEndQt : public app::MonitorFrontEnd {
public:
  explicit MonitorFrontEndQt(MonitorPage* page) : page_(page) {}
  void ShowState(const std::string& text) override {
    QMetaObject::invokeMethod(
        page_,
        [p = page_, t = Q(text)] {
          p->state_->setText(t.isEmpty() ? QString() : QStringLiteral("Current: %1").arg(t));
        },
        Qt::QueuedConnection);
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
  MonitorPage* page_;
};

namespace {

QString WithSlash(QString d) {
  if (!d.isEmpty() && !d.endsWith('/')) d += '/';
  return d;
}

} // namespace

MonitorPage::MonitorPage(app::SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store), engine_(std::make_unique<Engine>()),
      front_(std::make_unique<MonitorFrontEndQt>(this)) {
  setObjectName(QStringLiteral("MonitorPage"));
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);

  auto* inBox = new QGroupBox(QStringLiteral("Input"), this);
  auto* inGrid = new QGridLayout(inBox);
  input_ = Named(new QLineEdit(inBox), "Input Folder:", "input");
  input_->setReadOnly(true);
  browseInput_ = Named(new QPushButton(QStringLiteral("Browse..."), inBox), "Browse input folder",
                       "browseInput");
  openInput_ =
      Named(new QPushButton(QStringLiteral("..."), inBox), "Open input folder", "openInput");
  openInput_->setMaximumWidth(32);
  inGrid->addWidget(new QLabel(QStringLiteral("Input Folder:"), inBox), 0, 0);
  inGrid->addWidget(input_, 0, 1);
  inGrid->addWidget(browseInput_, 0, 2);
  inGrid->addWidget(openInput_, 0, 3);
  subdir_ = Named(new QCheckBox(QStringLiteral("Include subfolder"), inBox), "Include subfolder",
                  "subdir");
  delSuccess_ = Named(new QCheckBox(QStringLiteral("Delete source file when success"), inBox),
                      "Delete source file when success", "del_success");
  inGrid->addWidget(subdir_, 1, 1);
  inGrid->addWidget(delSuccess_, 2, 1);
  v->addWidget(inBox);

  auto* outBox = new QGroupBox(QStringLiteral("Output"), this);
  auto* outGrid = new QGridLayout(outBox);
  modes_ = new QButtonGroup(this);
  const QStringList modeTexts = {"Merge into single PDF", "Create individual PDF per image",
                                 "Create individual PDF per folder"};
  auto* modeRow = new QHBoxLayout;
  for (int i = 0; i < modeTexts.size(); ++i) {
    auto* r = Named(new QRadioButton(modeTexts[i], outBox), modeTexts[i],
                    QStringLiteral("monitorMode%1").arg(i));
    modes_->addButton(r, i);
    modeRow->addWidget(r);
  }
  modes_->button(0)->setChecked(true);
  outGrid->addLayout(modeRow, 0, 0, 1, 4);
  output_ = Named(new QLineEdit(outBox), "Out Folder:", "monitorOutput");
  output_->setReadOnly(true);
  browseOutput_ =
      Named(new QPushButton(QStringLiteral("Browse..."), outBox), "Browse output", "browseOutput");
  openOutput_ = Named(new QPushButton(QStringLiteral("..."), outBox), "Open output", "openOutput");
  openOutput_->setMaximumWidth(32);
  outGrid->addWidget(new QLabel(QStringLiteral("Out Folder:"), outBox), 1, 0);
  outGrid->addWidget(output_, 1, 1);
  outGrid->addWidget(browseOutput_, 1, 2);
  outGrid->addWidget(openOutput_, 1, 3);
  keepsub_ = Named(new QCheckBox(QStringLiteral("Keep original subfolder"), outBox),
                   "Keep original subfolder", "keepsub");
  outGrid->addWidget(keepsub_, 2, 1);
  v->addWidget(outBox);

  auto* runBox = new QGroupBox(QStringLiteral("Run"), this);
  auto* runGrid = new QGridLayout(runBox);
  winstart_ =
      Named(new QCheckBox(QStringLiteral("Start at login"), runBox), "Start at login", "winstart");
  autorun_ = Named(new QCheckBox(QStringLiteral("Auto run at next"), runBox), "Auto run at next",
                   "autorun");
  runsec_ = Named(new QCheckBox(QStringLiteral("Monitoring interval"), runBox),
                  "Monitoring interval", "runsec");
  seconds_ = Named(new QLineEdit(runBox), "Interval seconds", "second");
  seconds_->setMaxLength(3);
  seconds_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), seconds_));
  seconds_->setMaximumWidth(60);
  runGrid->addWidget(winstart_, 0, 0);
  runGrid->addWidget(autorun_, 0, 1);
  auto* intervalRow = new QHBoxLayout;
  intervalRow->addWidget(runsec_);
  intervalRow->addWidget(seconds_);
  intervalRow->addWidget(new QLabel(QStringLiteral("seconds"), runBox));
  intervalRow->addStretch();
  runGrid->addLayout(intervalRow, 1, 0, 1, 2);
  v->addWidget(runBox);

  auto* bottom = new QHBoxLayout;
  state_ = Named(new QLabel(this), "State", "state");
  state_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  settings_ =
      Named(new QPushButton(QStringLiteral("Settings"), this), "Settings", "monitorSettings");
  start_ = Named(new QPushButton(QStringLiteral("Start"), this), "Start", "start");
  bottom->addWidget(state_, 1);
  bottom->addWidget(settings_);
  bottom->addWidget(start_);
  v->addLayout(bottom);
  v->addStretch();

  connect(browseInput_, &QPushButton::clicked, this, &MonitorPage::BrowseInput);
  connect(openInput_, &QPushButton::clicked, this, [this] { CurrentShell().Open(input_->text()); });
  connect(browseOutput_, &QPushButton::clicked, this, &MonitorPage::BrowseOutput);
  connect(openOutput_, &QPushButton::clicked, this,
          [this] { CurrentShell().Open(output_->text()); });
  connect(settings_, &QPushButton::clicked, this, &MonitorPage::OpenSettings);
  connect(start_, &QPushButton::clicked, this, &MonitorPage::StartOrStop);
  connect(modes_, &QButtonGroup::idClicked, this,
          [this](int id) { SetOutputMode(static_cast<app::OutputMode>(id)); });
  connect(runsec_, &QCheckBox::toggled, this, &MonitorPage::ApplyEnabling);
  connect(winstart_, &QCheckBox::clicked, this, [](bool on) {
    // Written or removed at once; failures are not the user's concern here.
    platform::SetAutostart(on, platform::ExecutablePath());
  });
  ApplyEnabling();
}

MonitorPage::~MonitorPage() {
  if (worker_) {
    monitor_->Stop();
    worker_->wait();
    delete worker_;
  }
  if (firstShown_) {
    SaveMonitorKeys();
    SaveOutput();
  }
}

QString MonitorPage::stateText() const {
  return state_->text();
}

void MonitorPage::ApplyEnabling() {
  bool idle = !running_;
  keepsub_->setEnabled(idle && paths_.mode == app::OutputMode::kPerImage);
  seconds_->setEnabled(idle && runsec_->isChecked());
}

void MonitorPage::LoadFirstTime() {
  input_->setText(Q(store_.ReadText("input", "")));
  output_->setText(Q(store_.ReadText("doutput", "")));
  for (const QString& d : {input_->text(), output_->text()})
    if (!d.isEmpty()) app::CreateFolders(S(d));
  subdir_->setChecked(store_.ReadInt("subdir", 0) == 1);
  delSuccess_->setChecked(store_.ReadInt("del_success", 0) == 1);
  keepsub_->setChecked(store_.ReadInt("keepsub", 0) == 1);
  winstart_->setChecked(store_.ReadInt("winstart", 0) == 1);
  autorun_->setChecked(store_.ReadInt("autorun", 0) == 1);
  runsec_->setChecked(store_.ReadInt("runsec", 0) == 1);
  seconds_->setText(Q(store_.ReadText(*app::FindSettingKey("second"))).left(3));
}

void MonitorPage::LoadEveryTime() {
  log_ = store_.ReadInt("log", 0) == 1;
  logpath_ = store_.ReadText("logpath", "");
  conv_ = app::LoadConversionSettings(store_, app::ProducerMode::kExclude);
  paths_ = app::LoadOutputPaths(store_);
  int mode = static_cast<int>(paths_.mode);
  if (mode < 0 || mode > 2) paths_.mode = app::OutputMode::kMerge;
  modes_->button(static_cast<int>(paths_.mode))->setChecked(true);
  output_->setText(Q(paths_.ForMode(paths_.mode)));
  if (!running_) state_->clear();
  ApplyEnabling();
}

void MonitorPage::SaveOutput() {
  const char* keys[] = {"outPath0", "outPath1", "outPath2"};
  store_.WriteMany({{"outMode", std::to_string(static_cast<int>(paths_.mode))},
                    {keys[static_cast<int>(paths_.mode)], S(output_->text())}});
}

void MonitorPage::SaveMonitorKeys() {
  auto flag = [](QCheckBox* c) { return std::string(c->isChecked() ? "1" : "0"); };
  store_.WriteMany({{"input", S(input_->text())},
                    {"doutput", S(output_->text())},
                    {"subdir", flag(subdir_)},
                    {"del_success", flag(delSuccess_)},
                    {"keepsub", flag(keepsub_)},
                    {"winstart", flag(winstart_)},
                    {"autorun", flag(autorun_)},
                    {"runsec", flag(runsec_)},
                    {"second", S(seconds_->text())}});
}

void MonitorPage::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  bool first = !firstShown_;
  if (first) {
    firstShown_ = true;
    LoadFirstTime();
  }
  LoadEveryTime();
  if (first && autorun_->isChecked() && !running_) Start();
}

void MonitorPage::hideEvent(QHideEvent* e) {
  if (firstShown_) SaveOutput();
  QWidget::hideEvent(e);
}

void MonitorPage::SetOutputMode(app::OutputMode mode) {
  // The path shown so far belongs to the mode being left.
  std::string shown = S(output_->text());
  switch (paths_.mode) {
  case app::OutputMode::kPerImage:
    paths_.perImageFolder = shown;
    break;
  case app::OutputMode::kPerFolder:
    paths_.perFolderFolder = shown;
    break;
  default:
    paths_.mergeFile = shown;
    break;
  }
  paths_.mode = mode;
  modes_->button(static_cast<int>(mode))->setChecked(true);
  output_->setText(Q(paths_.ForMode(mode)));
  ApplyEnabling();
}

void MonitorPage::BrowseInput() {
  if (auto d = CurrentShell().Folder(this, QStringLiteral("Select Input Folder"), input_->text()))
    input_->setText(WithSlash(*d));
}

void MonitorPage::BrowseOutput() {
  QString chosen;
  if (paths_.mode == app::OutputMode::kMerge) {
    auto name = CurrentShell().SavePdfName(this, output_->text());
    if (!name) return;
    chosen = *name;
    if (!chosen.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
      chosen += QStringLiteral(".pdf");
  } else {
    auto d = CurrentShell().Folder(this, QStringLiteral("Select Output Folder"), output_->text());
    if (!d) return;
    chosen = WithSlash(*d);
  }
  output_->setText(chosen);
  SetOutputMode(paths_.mode); // stores it as the current mode's path
}

void MonitorPage::OpenSettings() {
  if (!CMyPropSheet::Edit(store_, conv_, app::ProducerMode::kExclude, this)) return;
  if (running_ && monitor_) {
    // Documents opened from now on use the new settings.
    app::RunSettings run;
    run.mode = paths_.mode;
    run.outPath0 = paths_.mergeFile;
    run.outPath1 = paths_.perImageFolder;
    run.outPath2 = paths_.perFolderFolder;
    run.policy = app::ReadExistingFilePolicy(store_);
    run.log = log_;
    run.logpath = logpath_;
    run.conv = conv_;
    monitor_->UpdateRunSettings(run);
  }
}

void MonitorPage::SetControlsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{browseInput_, browseOutput_, subdir_,
                                                    delSuccess_, winstart_, autorun_, runsec_})
    w->setEnabled(enabled);
  ApplyEnabling();
}

void MonitorPage::StartOrStop() {
  if (running_) {
    start_->setEnabled(false);
    if (monitor_) monitor_->Stop();
    return;
  }
  Start();
}

void MonitorPage::Start() {
  SetOutputMode(paths_.mode);
  app::MonitorSettings m;
  m.input = S(input_->text());
  m.subdir = subdir_->isChecked();
  m.delSuccess = delSuccess_->isChecked();
  m.keepsub = keepsub_->isChecked();
  m.runsec = runsec_->isChecked();
  m.intervalSeconds = app::ParseInterval(S(seconds_->text()));
  m.run.mode = paths_.mode;
  m.run.outPath0 = paths_.mergeFile;
  m.run.outPath1 = paths_.perImageFolder;
  m.run.outPath2 = paths_.perFolderFolder;
  m.run.policy = app::ReadExistingFilePolicy(store_);
  m.run.log = log_;
  m.run.logpath = logpath_;
  m.run.conv = conv_;
  m.types = app::CurrentSupportedTypes();
  QFileInfo in(input_->text());
  if (input_->text().isEmpty() || !in.isDir() || !in.isExecutable()) {
    CurrentShell().Message(this, QMessageBox::Critical, QString::fromUtf8(app::kNoFolderMessage));
    return;
  }
  std::string problem = app::CheckMonitorSettings(m);
  if (!problem.empty()) {
    CurrentShell().Message(this, QMessageBox::Critical, Q(problem));
    return;
  }
  running_ = true;
  SetControlsEnabled(false);
  start_->setText(QStringLiteral("Stop"));
  start_->setAccessibleName(QStringLiteral("Stop"));
  emit runningChanged(true);

  monitor_ = std::make_unique<app::FolderMonitor>(*engine_, *front_, m);
  app::SettingsStore* store = &store_;
  worker_ = QThread::create([this, store] {
    app::MonitorResult r = monitor_->Run();
    if (r.afterActionDue)
      app::PerformAfterAction(CurrentSystemActions(), app::ReadAfterAction(*store),
                              r.outputLocation);
    bool stopped = r.stopped;
    QMetaObject::invokeMethod(
        this, [this, stopped] { Ended(stopped); }, Qt::QueuedConnection);
  });
  worker_->start();
}

void MonitorPage::Ended(bool stopped) {
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
  monitor_.reset();
  if (stopped) state_->clear();
  running_ = false;
  start_->setText(QStringLiteral("Start"));
  start_->setAccessibleName(QStringLiteral("Start"));
  start_->setEnabled(true);
  SetControlsEnabled(true);
  emit runningChanged(false);
  emit runFinished(stopped);
}

} // namespace ui
