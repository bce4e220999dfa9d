#include "ui/options_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/settings_store.h"
#include "platform/paths.h"
#include "ui/shell.h"
#include "ui/widgets.h"

namespace ui {

OptionsPage::OptionsPage(app::SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
  auto* outer = new QVBoxLayout(this);
  auto* box = new QGroupBox(QStringLiteral("Options"), this);
  auto* form = new QFormLayout(box);
  after_ = Named(new QComboBox(box), "After Conversion:", "after");
  after_->addItems(
      {"Do Nothing", "Shut Down", "Stand By", "Restart", "Log Off", "Exit Program", "Open Output"});
  exists_ = Named(new QComboBox(box), "If output file exists:", "exists");
  exists_->addItems({"Ask always", "Overwrite", "Create new file", "Append"});
  priority_ = Named(new QComboBox(box), "Process Priority:", "priority");
  priority_->addItems({"Idle", "Below Normal", "Normal", "Above Normal", "High"});
  form->addRow(QStringLiteral("After Conversion:"), after_);
  form->addRow(QStringLiteral("If output file exists:"), exists_);
  form->addRow(QStringLiteral("Process Priority:"), priority_);
  log_ = Named(new QCheckBox(QStringLiteral("Record Log"), box), "Record Log", "log");
  logPath_ = Named(new QLineEdit(box), "Log folder", "logpath");
  logPath_->setReadOnly(true);
  browse_ = Named(new QPushButton(QStringLiteral("..."), box), "Choose log folder", "logBrowse");
  browse_->setMaximumWidth(32);
  auto* logRow = new QHBoxLayout;
  logRow->addWidget(logPath_, 1);
  logRow->addWidget(browse_);
  form->addRow(log_);
  form->addRow(QStringLiteral("Log folder"), logRow);
  outer->addWidget(box);
  outer->addStretch();

  connect(log_, &QCheckBox::toggled, this, &OptionsPage::ApplyEnabling);
  connect(browse_, &QPushButton::clicked, this, [this] {
    if (auto dir =
            CurrentShell().Folder(this, QStringLiteral("Select Log Folder"), logPath_->text())) {
      QString d = *dir;
      if (!d.endsWith('/')) d += '/';
      logPath_->setText(d);
    }
  });
  ApplyEnabling();
}

OptionsPage::~OptionsPage() {
  Save();
}

void OptionsPage::Load() {
  auto pick = [this](QComboBox* c, const char* key) {
    int v = store_.ReadInt(*app::FindSettingKey(key));
    c->setCurrentIndex(v >= 0 && v < c->count() ? v : app::FindSettingKey(key)->intDefault);
  };
  pick(after_, "after");
  pick(exists_, "exists");
  pick(priority_, "priority");
  log_->setChecked(store_.ReadInt("log", 0) == 1);
  QString path = Q(store_.ReadText("logpath", ""));
  logPath_->setText(path.isEmpty() ? Q(platform::ExecutableDir()) : path);
  ApplyEnabling();
  loaded_ = true;
}

void OptionsPage::Save() {
  if (!loaded_) return; // never shown: nothing of it was read, so nothing to write back
  store_.WriteMany({{"after", std::to_string(after_->currentIndex())},
                    {"exists", std::to_string(exists_->currentIndex())},
                    {"priority", std::to_string(priority_->currentIndex())},
                    {"log", log_->isChecked() ? "1" : "0"},
                    {"logpath", S(logPath_->text())}});
}

void OptionsPage::ApplyEnabling() {
  logPath_->setEnabled(log_->isChecked());
  browse_->setEnabled(log_->isChecked());
}

void OptionsPage::showEvent(QShowEvent* e) {
  Load();
  QWidget::showEvent(e);
}

void OptionsPage::hideEvent(QHideEvent* e) {
  Save();
  QWidget::hideEvent(e);
}

} // namespace ui
