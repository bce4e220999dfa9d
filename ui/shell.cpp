#include "ui/shell.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QUrl>

namespace ui {

namespace {

Shell& RealShell() {
  static Shell shell;
  return shell;
}

Shell* g_shell = nullptr;

QUrl UrlFor(const QString& location) {
  if (location.contains(QStringLiteral("://"))) return QUrl(location);
  return QUrl::fromLocalFile(location);
}

} // namespace

Shell& CurrentShell() {
  return g_shell ? *g_shell : RealShell();
}

void SetShell(Shell* shell) {
  g_shell = shell;
}

void Shell::Open(const QString& location) {
  if (!location.isEmpty()) QDesktopServices::openUrl(UrlFor(location));
}

void Shell::Message(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QString::fromUtf8(kAppTitle), text, QMessageBox::Ok, parent);
  box.exec();
}

bool Shell::Confirm(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppTitle), text,
                  QMessageBox::Ok | QMessageBox::Cancel, parent);
  return box.exec() == QMessageBox::Ok;
}

bool Shell::AskYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Information, QString::fromUtf8(kAppTitle), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  return box.exec() == QMessageBox::Yes;
}

std::optional<QString> Shell::SavePdfName(QWidget* parent, const QString& start) {
  QString name = QFileDialog::getSaveFileName(parent, QString::fromUtf8(kAppTitle), start,
                                              QStringLiteral("PDF File (*.pdf)"));
  if (name.isEmpty()) return std::nullopt;
  return name;
}

QStringList Shell::OpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                                 const QString& filter) {
  return QFileDialog::getOpenFileNames(parent, title, dir, filter);
}

std::optional<QString> Shell::OpenFileName(QWidget* parent, const QString& title,
                                           const QString& dir, const QString& filter) {
  QString name = QFileDialog::getOpenFileName(parent, title, dir, filter);
  if (name.isEmpty()) return std::nullopt;
  return name;
}

std::optional<QString> Shell::Folder(QWidget* parent, const QString& title, const QString& start) {
  QString dir = QFileDialog::getExistingDirectory(parent, title, start);
  if (dir.isEmpty()) return std::nullopt;
  return dir;
}

std::optional<FolderChoice> Shell::AddFolder(QWidget* parent, const FolderChoice& start,
                                             const QStringList& formatFilters) {
  // A non-native dialog, so that the two extra controls can join its own layout.
  QFileDialog dialog(parent, QStringLiteral("Please Select Folder"), start.folder);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  auto* subfolders = new QCheckBox(QStringLiteral(" Include Subfolder"), &dialog);
  subfolders->setAccessibleName(QStringLiteral("Include Subfolder"));
  subfolders->setChecked(start.includeSubfolders);
  auto* filterLabel = new QLabel(QStringLiteral("Format Filter"), &dialog);
  auto* filter = new QComboBox(&dialog);
  filter->setAccessibleName(QStringLiteral("Format Filter"));
  filter->addItems(formatFilters);
  filter->setCurrentIndex(start.formatFilter);
  filterLabel->setBuddy(filter);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    int row = grid->rowCount();
    grid->addWidget(subfolders, row, 0, 1, -1);
    grid->addWidget(filterLabel, row + 1, 0);
    grid->addWidget(filter, row + 1, 1, 1, -1);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  FolderChoice c;
  c.folder = dialog.selectedFiles().first();
  c.includeSubfolders = subfolders->isChecked();
  c.formatFilter = filter->currentIndex();
  return c;
}

std::optional<QColor> Shell::Colour(QWidget* parent, const QColor& start) {
  QColor c = QColorDialog::getColor(start, parent, QString::fromUtf8(kAppTitle));
  if (!c.isValid()) return std::nullopt;
  return c;
}

} // namespace ui
