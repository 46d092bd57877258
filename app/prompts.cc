#include "app/prompts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

#include "app/about_dialog.h"
#include "app/settings_dialog.h"

namespace tovex {

void QtPrompts::Warn(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                  text, QMessageBox::Ok, parent);
  box.exec();
}

bool QtPrompts::AskYesNo(QWidget* parent, const QString& text,
                         const QString& caption) {
  QMessageBox box(QMessageBox::Question, caption, text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

std::optional<QStringList> QtPrompts::ChooseLogFiles(QWidget* parent) {
  const QStringList paths = QFileDialog::getOpenFileNames(
      parent, QString(), QString(),
      QStringLiteral("Access Log File (*);;Access Log File (*.log *.gz)"));
  if (paths.isEmpty()) return std::nullopt;
  return paths;
}

int QtPrompts::RunSettingsDialog(SettingsDialog* dialog) {
  return dialog->exec();
}

void QtPrompts::RunAboutDialog(AboutDialog* dialog) { dialog->exec(); }

void QtPrompts::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

}  // namespace tovex
