// One running window per user session: a lock file in the runtime folder. A later start hands
// its file arguments to the running window over a local socket and ends.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <memory>

namespace ui {

class SingleInstance : public QObject {
  Q_OBJECT
public:
  // folder: where the lock file and the socket live; empty means $XDG_RUNTIME_DIR, else /tmp.
  explicit SingleInstance(const QString& folder = {}, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this process is the first one; it then listens for later starts.
  bool Acquire();

  // Sends paths to the running instance (an empty list just raises its window). False when
  // no instance answered within the time-out.
  bool Send(const QStringList& paths, int timeoutMs = 5000);

  QString lockPath() const;
  QString socketPath() const;

signals:
  // Paths a later start passed on; empty when it had none.
  void filesReceived(const QStringList& paths);

private:
  void Receive();

  QString folder_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

} // namespace ui
