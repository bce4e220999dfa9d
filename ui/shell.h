// Everything the window does that leaves the program or waits for the user in a modal
// dialog: opening files and addresses, message boxes, file and colour dialogs. Pages call
// these through one Shell so that tests replace them and never open anything.
#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace ui {

// The extra choices of the Add Folder dialog.
struct FolderChoice {
  QString folder;
  bool includeSubfolders = false;
  int formatFilter = 0; // index into the Format Filter combo: 0 is "All Support"
};

class Shell {
public:
  virtual ~Shell() = default;

  // A file, folder or web address, with the desktop's default application.
  virtual void Open(const QString& location);

  // A message box titled "Pictofold".
  virtual void Message(QWidget* parent, QMessageBox::Icon icon, const QString& text);
  // OK / Cancel with the warning icon; true for OK.
  virtual bool Confirm(QWidget* parent, const QString& text);
  // Yes / No with the information icon; true for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text);

  // The save dialog for PDF files, titled "Pictofold". Nothing for Cancel.
  virtual std::optional<QString> SavePdfName(QWidget* parent, const QString& start);
  // A multi-selection open dialog of existing files.
  virtual QStringList OpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                                    const QString& filter);
  // A single existing file.
  virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& title,
                                              const QString& dir, const QString& filter);
  // A folder dialog; nothing for Cancel.
  virtual std::optional<QString> Folder(QWidget* parent, const QString& title,
                                        const QString& start);
  // The Add Folder dialog with " Include Subfolder" and "Format Filter".
  virtual std::optional<FolderChoice> AddFolder(QWidget* parent, const FolderChoice& start,
                                                const QStringList& formatFilters);
  virtual std::optional<QColor> Colour(QWidget* parent, const QColor& start);
};

// The shell the program uses unless a test installs its own.
Shell& CurrentShell();
// Installs a shell (tests); nullptr restores the real one. The caller keeps ownership.
void SetShell(Shell* shell);

inline constexpr const char* kAppTitle = "Pictofold";

} // namespace ui
