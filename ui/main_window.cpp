#include "ui/main_window.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/about_page.h"
#include "ui/app_icon.h"
#include "ui/file_list_page.h"
#include "ui/monitor_page.h"
#include "ui/options_page.h"
#include "ui/shell.h"
#include "ui/widgets.h"

namespace ui {

MainWindow::MainWindow(app::SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
  setWindowTitle(QString::fromUtf8(kAppTitle));
  setObjectName(QStringLiteral("MainWindow"));
  setWindowIcon(AppIcon());

  auto* column = new QWidget(this);
  column->setObjectName(QStringLiteral("tabColumn"));
  column->setAutoFillBackground(true);
  QPalette pal = column->palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Base).darker(104));
  column->setPalette(pal);
  auto* tabLayout = new QVBoxLayout(column);
  auto* banner = new QLabel(column);
  banner->setPixmap(AppIcon().pixmap(48, 48));
  banner->setAlignment(Qt::AlignCenter);
  auto* name = new QLabel(QString::fromUtf8(kAppTitle), column);
  QFont f = name->font();
  f.setBold(true);
  f.setPixelSize(16);
  name->setFont(f);
  name->setAlignment(Qt::AlignCenter);
  tabLayout->addWidget(banner);
  tabLayout->addWidget(name);
  tabLayout->addSpacing(8);

  tabs_ = new QButtonGroup(this);
  tabs_->setExclusive(true);
  const QStringList titles = {"File list", "Monitor", "Options", "About"};
  const QStyle::StandardPixmap icons[] = {QStyle::SP_FileIcon, QStyle::SP_DirIcon,
                                          QStyle::SP_FileDialogDetailedView,
                                          QStyle::SP_MessageBoxInformation};
  for (int i = 0; i < titles.size(); ++i) {
    auto* b = Named(new QToolButton(column), titles[i], QStringLiteral("tab%1").arg(i));
    b->setText(titles[i]);
    b->setIcon(style()->standardIcon(icons[i]));
    b->setIconSize(QSize(32, 32));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setMinimumSize(96, 72);
    b->setShortcut(QKeySequence(Qt::ALT | (Qt::Key_1 + i)));
    b->setToolTip(QStringLiteral("%1 (Alt+%2)").arg(titles[i]).arg(i + 1));
    tabs_->addButton(b, i);
    tabLayout->addWidget(b);
  }
  tabLayout->addStretch();
  tabs_->button(0)->setChecked(true);

  pages_ = new QStackedWidget(this);
  pages_->setObjectName(QStringLiteral("pageArea"));
  fileList_ = new FileListPage(store_, pages_);
  monitor_ = new MonitorPage(store_, pages_);
  options_ = new OptionsPage(store_, pages_);
  about_ = new AboutPage(pages_);
  pages_->addWidget(fileList_);
  pages_->addWidget(monitor_);
  pages_->addWidget(options_);
  pages_->addWidget(about_);
  pages_->setCurrentIndex(0);

  auto* h = new QHBoxLayout(this);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(0);
  h->addWidget(column);
  auto* pageFrame = new QVBoxLayout;
  pageFrame->setContentsMargins(8, 8, 8, 8);
  pageFrame->addWidget(pages_);
  h->addLayout(pageFrame, 1);

  connect(tabs_, &QButtonGroup::idClicked, this, [this](int id) { SelectTab(id); });
  connect(fileList_, &FileListPage::runningChanged, this, &MainWindow::SetRunning);
  connect(monitor_, &MonitorPage::runningChanged, this, &MainWindow::SetRunning);
  resize(860, 560);
}

MainWindow::~MainWindow() {
  // Pages save their settings as they go; the visible one first, as when it is hidden.
  if (QWidget* w = pages_->currentWidget()) w->hide();
}

QToolButton* MainWindow::tab(int i) const {
  return qobject_cast<QToolButton*>(tabs_->button(i));
}

int MainWindow::currentTab() const {
  return pages_->currentIndex();
}

bool MainWindow::SelectTab(int index) {
  if (running_) {
    tabs_->button(pages_->currentIndex())->setChecked(true);
    CurrentShell().Message(this, QMessageBox::Warning, QString::fromUtf8(kConvertingMessage));
    return false;
  }
  if (index < 0 || index >= pages_->count()) return false;
  tabs_->button(index)->setChecked(true);
  // The hidden page writes its settings before the shown one reads them.
  if (index != pages_->currentIndex()) pages_->setCurrentIndex(index);
  return true;
}

void MainWindow::SetRunning(bool running) {
  running_ = running;
}

void MainWindow::closeEvent(QCloseEvent* e) {
  if (running_) {
    e->ignore();
    CurrentShell().Message(this, QMessageBox::Warning, QString::fromUtf8(kConvertingMessage));
    return;
  }
  e->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
  // Return and Escape never close anything.
  if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    e->accept();
    return;
  }
  QWidget::keyPressEvent(e);
}

void MainWindow::AddFiles(const QStringList& paths) {
  if (!paths.isEmpty()) {
    if (!running_) SelectTab(0);
    fileList_->AddPaths(paths); // held back by the page while its own run goes on
  }
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

} // namespace ui
