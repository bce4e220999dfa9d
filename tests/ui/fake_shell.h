// A shell that opens nothing and answers every dialog from the test's script.
#pragma once

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <deque>
#include <functional>
#include <optional>

#include "ui/shell.h"

namespace uitest {

class FakeShell : public ui::Shell {
public:
  FakeShell() { ui::SetShell(this); }
  ~FakeShell() override { ui::SetShell(nullptr); }

  void Open(const QString& location) override { opened << location; }
  void Message(QWidget*, QMessageBox::Icon icon, const QString& text) override {
    messages << text;
    icons << icon;
  }
  bool Confirm(QWidget*, const QString& text) override {
    confirms << text;
    return confirmAnswer;
  }
  bool AskYesNo(QWidget*, const QString& text) override {
    questions << text;
    return yesAnswer;
  }
  std::optional<QString> SavePdfName(QWidget*, const QString& start) override {
    saveStarts << start;
    if (onSave) onSave();
    return saveAnswer;
  }
  QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&) override {
    return openAnswer;
  }
  std::optional<QString> OpenFileName(QWidget*, const QString&, const QString&,
                                      const QString&) override {
    if (openAnswer.isEmpty()) return std::nullopt;
    return openAnswer.first();
  }
  std::optional<QString> Folder(QWidget*, const QString& title, const QString&) override {
    folderTitles << title;
    return folderAnswer;
  }
  std::optional<ui::FolderChoice> AddFolder(QWidget*, const ui::FolderChoice& start,
                                            const QStringList&) override {
    addFolderStart = start;
    return addFolderAnswer;
  }
  std::optional<QColor> Colour(QWidget*, const QColor&) override { return colourAnswer; }

  QStringList opened, messages, confirms, questions, saveStarts, folderTitles;
  QList<QMessageBox::Icon> icons;
  bool confirmAnswer = true;
  bool yesAnswer = true;
  std::optional<QString> saveAnswer;
  QStringList openAnswer;
  std::optional<QString> folderAnswer;
  ui::FolderChoice addFolderStart;
  std::optional<ui::FolderChoice> addFolderAnswer;
  std::optional<QColor> colourAnswer;
  std::function<void()> onSave; // runs inside the save dialog, as a user's click would
};

// Points HOME and the XDG folders at a fresh temporary folder before any page reads them.
class IsolatedHome {
public:
  IsolatedHome() {
    qputenv("HOME", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
  }
  QString path() const { return dir.path(); }
  QString settings() const { return dir.path() + "/Settings.ini"; }

private:
  QTemporaryDir dir;
};

} // namespace uitest
