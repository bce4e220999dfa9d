#include "ui/update_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "ui/shell.h"
#include "ui/widgets.h"

namespace ui {

UpdateDialog::UpdateDialog(const app::UpdateCheckOptions& options, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Check for new version"));
  setObjectName(QStringLiteral("UpdateDialog"));
  auto* grid = new QGridLayout;
  own_ = Named(new QLabel(Q(app::VersionLabel(app::kOwnVersion)), this), "Your version", "own");
  latest_ = Named(new QLabel(QStringLiteral("..."), this), "Current version", "latest");
  grid->addWidget(new QLabel(QStringLiteral("Your version is: "), this), 0, 0);
  grid->addWidget(own_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Current version is:"), this), 1, 0);
  grid->addWidget(latest_, 1, 1);
  message_ = Named(new QLabel(QStringLiteral("Connecting..."), this), "Message", "message");
  link_ = Named(new QLabel(this), "Download link", "link");
  link_->setTextFormat(Qt::RichText);
  link_->setTextInteractionFlags(Qt::TextBrowserInteraction);
  link_->hide();
  connect(link_, &QLabel::linkActivated, this,
          [](const QString& url) { CurrentShell().Open(url); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  Named(buttons->button(QDialogButtonBox::Ok), "OK", "ok");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* v = new QVBoxLayout(this);
  v->addLayout(grid);
  v->addWidget(message_);
  v->addWidget(link_);
  v->addWidget(buttons);

  connect(&watcher_, &QFutureWatcher<app::UpdateCheckResult>::finished, this,
          [this] { Show(watcher_.result()); });
  watcher_.setFuture(QtConcurrent::run([options] { return app::CheckForUpdate(options); }));
}

UpdateDialog::~UpdateDialog() {
  // The check ends by itself within its time-out; its result is simply dropped.
  watcher_.disconnect(this);
}

void UpdateDialog::Show(const app::UpdateCheckResult& r) {
  latest_->setText(Q(r.latestVersionText));
  message_->setText(Q(r.message));
  if (r.newerAvailable) {
    QString url = Q(r.downloadUrl).toHtmlEscaped();
    link_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(url));
    link_->show();
  }
  done_ = true;
  emit checkFinished();
}

} // namespace ui
