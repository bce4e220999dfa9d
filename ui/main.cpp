// pictofold-gui: the desktop program.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>

#include <clocale>

#include "app/engine_api.h"
#include "app/settings_store.h"
#include "converter/loader.h"
#include "platform/system_actions_real.h"
#include "ui/app_icon.h"
#include "ui/main_window.h"
#include "ui/single_instance.h"
#include "ui/system_actions.h"

int main(int argc, char** argv) {
  QApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication qapp(argc, argv);
  // Qt takes the user's locale for everything; numbers written into files stay C-formatted.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Pictofold"));
  QApplication::setDesktopFileName(QStringLiteral("pictofold"));
  QApplication::setWindowIcon(ui::AppIcon());

  QStringList files;
  for (const QString& a : QApplication::arguments().mid(1))
    files << QFileInfo(a).absoluteFilePath();

  ui::SingleInstance instance;
  if (!instance.Acquire()) {
    // Another window runs: it takes the files and raises itself.
    instance.Send(files);
    return 0;
  }

  // The converter plug-in sits beside the executables, or in the installed library folder.
  if (!app::LoadPlugin())
    converter::Plugin::Instance().Load(converter::ExecutableFolder() + "/" PICTOFOLD_PLUGIN_RELDIR);

  auto actions = platform::CreateSystemActionsForProgram();
  ui::SetSystemActions(actions.get());

  int rc = 0;
  {
    app::SettingsStore store(app::SettingsStore::DefaultPath());
    ui::MainWindow window(store);
    QObject::connect(&instance, &ui::SingleInstance::filesReceived, &window,
                     &ui::MainWindow::AddFiles);
    window.show();
    if (!files.isEmpty()) window.AddFiles(files);
    rc = QApplication::exec();
  }
  ui::SetSystemActions(nullptr);
  app::UnloadPlugin();
  return rc;
}
