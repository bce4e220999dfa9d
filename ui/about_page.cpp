#include "ui/about_page.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/version.h"
#include "platform/paths.h"
#include "ui/shell.h"
#include "ui/update_dialog.h"
#include "ui/widgets.h"

namespace ui {

QString HelpFilePath() {
  QString dir = Q(platform::ExecutableDir());
  QString beside = dir + QStringLiteral("help.html");
  if (QFileInfo::exists(beside)) return beside;
  QString installed = dir + QStringLiteral("../share/pictofold/help.html");
  if (QFileInfo::exists(installed)) return QFileInfo(installed).canonicalFilePath();
  return beside;
}

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
  // A dead server must not keep the dialog waiting for long.
  updateOptions.connectTimeoutSeconds = 10;
  updateOptions.totalTimeoutSeconds = 10;
  auto* v = new QVBoxLayout(this);
  QString version = QStringLiteral("Version: %1").arg(QString::fromUtf8(app::kProductVersion));
  auto* title = Named(
      new QLabel(QStringLiteral("Zorvalex %1  -  %2").arg(QStringLiteral("Pictofold"), version),
                 this),
      "Product and version", "productLine");
  QFont f = title->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.3);
  title->setFont(f);
  v->addWidget(title);
  auto* blurb = new QLabel(QStringLiteral("Turns image files into PDF documents: one for a whole "
                                          "list, one per image or one per folder."),
                           this);
  blurb->setWordWrap(true);
  v->addWidget(blurb);

  auto* box = new QGroupBox(QStringLiteral("Feedback and Support"), this);
  auto* bv = new QVBoxLayout(box);
  auto link = [&](const QString& text, const QString& url, const QString& name) {
    auto* l =
        Named(new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(url, text), box), name, name);
    l->setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(l, &QLabel::linkActivated, this, [](const QString& u) { CurrentShell().Open(u); });
    bv->addWidget(l);
  };
  link(QStringLiteral("Home page: %1").arg(kHomePage), kHomePage, "homePage");
  link(QStringLiteral("Support: %1").arg(kSupportMail),
       QStringLiteral("mailto:%1").arg(kSupportMail), "supportMail");
  v->addWidget(box);

  auto* row = new QHBoxLayout;
  auto* help = Named(new QPushButton(QStringLiteral("Help"), this), "Help", "help");
  auto* update = Named(new QPushButton(QStringLiteral("Check for Updates..."), this),
                       "Check for Updates...", "checkUpdates");
  row->addWidget(help);
  row->addWidget(update);
  row->addStretch();
  v->addLayout(row);
  v->addStretch();
  connect(help, &QPushButton::clicked, this, [] { CurrentShell().Open(HelpFilePath()); });
  connect(update, &QPushButton::clicked, this, &AboutPage::CheckForUpdates);
}

void AboutPage::CheckForUpdates() {
  UpdateDialog dialog(updateOptions, this);
  dialog.exec();
}

} // namespace ui
