// "Check for new version": asks the maker's server for the latest version on a worker thread,
// so a dead server never freezes the window, and shows the outcome.
#pragma once

#include <QDialog>
#include <QFutureWatcher>

#include "app/update_check.h"

class QLabel;

namespace ui {

class UpdateDialog : public QDialog {
  Q_OBJECT
public:
  explicit UpdateDialog(const app::UpdateCheckOptions& options, QWidget* parent = nullptr);
  ~UpdateDialog() override;

  bool finished() const { return done_; }

signals:
  void checkFinished();

private:
  void Show(const app::UpdateCheckResult& r);

  QLabel *own_, *latest_, *message_, *link_;
  QFutureWatcher<app::UpdateCheckResult> watcher_;
  bool done_ = false;
};

} // namespace ui
