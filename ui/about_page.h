// The about page: product and version, feedback and support links, help and the update check.
#pragma once

#include <QWidget>

#include "app/update_check.h"

namespace ui {

inline constexpr const char* kHomePage = "http://www.zorvalex.com";
inline constexpr const char* kSupportMail = "support@zorvalex.com";

// help.html beside the executable, else in the installed data folder.
QString HelpFilePath();

class AboutPage : public QWidget {
  Q_OBJECT
public:
  explicit AboutPage(QWidget* parent = nullptr);

  // Where "Check for Updates..." asks (tests point it at their own server).
  app::UpdateCheckOptions updateOptions;

  void CheckForUpdates();
};

} // namespace ui
