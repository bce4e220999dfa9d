// The update dialog against an HTTP server on 127.0.0.1 that the test runs, and the about page.
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include "fake_shell.h"
#include "ui/about_page.h"
#include "ui/update_dialog.h"
#include "ui_helpers.h"

using namespace uitest;

namespace {

// Answers every request with the body, or never answers when silent.
class VersionServer : public QObject {
public:
  VersionServer(const QByteArray& body, bool silent) : body_(body), silent_(silent) {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* s = server_.nextPendingConnection()) {
        held_ << s;
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
          request_ += s->readAll();
          if (silent_ || !request_.contains("\r\n\r\n")) return;
          s->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n"
                   "Content-Length: " +
                   QByteArray::number(body_.size()) + "\r\n\r\n" + body_);
          s->disconnectFromHost();
        });
      }
    });
  }
  QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }
  const QByteArray& request() const { return request_; }

private:
  QTcpServer server_;
  QByteArray body_, request_;
  bool silent_;
  QList<QTcpSocket*> held_;
};

// An address on 127.0.0.1 where nothing listens.
QString ClosedPort() {
  QTcpServer s;
  s.listen(QHostAddress::LocalHost);
  quint16 port = s.serverPort();
  s.close();
  return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

} // namespace

class UpdateTest : public QObject {
  Q_OBJECT
private slots:
  void outcomes_data();
  void outcomes();
  void aboutPage();
};

void UpdateTest::outcomes_data() {
  QTest::addColumn<QString>("server"); // "body:..." "silent" "closed"
  QTest::addColumn<QString>("latest");
  QTest::addColumn<QString>("message");
  QTest::addColumn<bool>("link");
  QTest::newRow("same version") << "body:6.8"
                                << "v 6.8"
                                << "You are running the latest version." << false;
  QTest::newRow("trailing zero") << "body:6.80\n"
                                 << "v 6.8"
                                 << "You are running the latest version." << false;
  QTest::newRow("6.81 is newer") << "body:6.81"
                                 << "v 6.8"
                                 << "Download latest version:" << true;
  QTest::newRow("7.0 beta") << "body:7.0 beta"
                            << "v 7.0"
                            << "Download latest version:" << true;
  QTest::newRow("no number") << "body:hello"
                             << "v 0.0"
                             << "You are running the latest version." << false;
  QTest::newRow("no server") << "closed"
                             << "v 0.0"
                             << "Cannot connect to remote server." << false;
  QTest::newRow("never answers") << "silent"
                                 << "v 0.0"
                                 << "Cannot connect to remote server." << false;
}

void UpdateTest::outcomes() {
  QFETCH(QString, server);
  QFETCH(QString, latest);
  QFETCH(QString, message);
  QFETCH(bool, link);
  std::unique_ptr<VersionServer> http;
  app::UpdateCheckOptions options;
  options.useSystemProxy = false;
  options.connectTimeoutSeconds = 2;
  options.totalTimeoutSeconds = 2;
  if (server == "closed") {
    options.server = ClosedPort().toStdString();
  } else {
    http = std::make_unique<VersionServer>(server.mid(5).toUtf8(), server == "silent");
    options.server = http->url().toStdString();
  }
  FakeShell shell;
  ui::UpdateDialog dialog(options);
  QCOMPARE(dialog.windowTitle(), QString("Check for new version"));
  dialog.show();
  QCOMPARE(Find<QLabel>(&dialog, "own")->text(), QString("v 6.8"));
  // The window keeps working while the check waits: a timer of the UI thread fires.
  int ticks = 0;
  QTimer ticker;
  connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(20);
  QSignalSpy done(&dialog, &ui::UpdateDialog::checkFinished);
  QVERIFY(done.wait(15000));
  if (server == "silent") QVERIFY(ticks > 10);
  QCOMPARE(Find<QLabel>(&dialog, "latest")->text(), latest);
  QCOMPARE(Find<QLabel>(&dialog, "message")->text(), message);
  auto* linkLabel = Find<QLabel>(&dialog, "link");
  QCOMPARE(linkLabel->isVisible(), link);
  if (link) {
    QString url = http->url() + "/bin/pictofold.exe";
    QVERIFY(linkLabel->text().contains(url));
    emit linkLabel->linkActivated(url);
    QCOMPARE(shell.opened, QStringList{url});
  }
  if (http && server != "silent")
    QVERIFY(http->request().startsWith("GET /update/pictofold.txt HTTP/1.1\r\n"));
}

void UpdateTest::aboutPage() {
  FakeShell shell;
  ui::AboutPage page;
  page.show();
  QCOMPARE(Find<QLabel>(&page, "productLine")->text(),
           QString("Zorvalex Pictofold  -  Version: 6.8"));
  QCOMPARE(page.updateOptions.totalTimeoutSeconds, 10L);
  Find<QPushButton>(&page, "help")->click();
  QCOMPARE(shell.opened.size(), 1);
  QVERIFY(shell.opened[0].endsWith("/help.html"));
  emit Find<QLabel>(&page, "homePage")->linkActivated(ui::kHomePage);
  QCOMPARE(shell.opened.last(), QString(ui::kHomePage));
  // The program's help page is built beside the executables.
  QVERIFY(QFileInfo(QStringLiteral(BIN_DIR "/help.html")).size() > 1000);
}

QTEST_MAIN(UpdateTest)
#include "ui_update_test.moc"
