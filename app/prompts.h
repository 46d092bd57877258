// Everything the window asks of the user through a modal dialog, behind one
// interface so that tests can answer in advance (no modal loop can run in a
// headless test). QtPrompts shows the real dialogs.
//
// Every method runs on the GUI thread and returns when the user has answered.

#ifndef TOVEX_APP_PROMPTS_H_
#define TOVEX_APP_PROMPTS_H_

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class QWidget;

namespace tovex {

class AboutDialog;
class SettingsDialog;

class Prompts {
 public:
  virtual ~Prompts() = default;

  // `text` with OK and a warning icon, captioned with the application's name.
  virtual void Warn(QWidget* parent, const QString& text) = 0;
  // `text` under `caption` with Yes and No, a question icon, No the default.
  // True for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text,
                        const QString& caption) = 0;
  // The file-open dialog for access logs; the full paths of the chosen
  // files (one or several), or nothing when the user cancelled.
  virtual std::optional<QStringList> ChooseLogFiles(QWidget* parent) = 0;
  // Shows the filled dialog modally; returns its result code
  // (QDialog::Accepted after a successful save).
  virtual int RunSettingsDialog(SettingsDialog* dialog) = 0;
  // Shows the About box modally.
  virtual void RunAboutDialog(AboutDialog* dialog) = 0;
  // Hands an address to the desktop's browser; the outcome is not reported.
  virtual void OpenUrl(const QUrl& url) = 0;
};

// The real dialogs: QMessageBox, QFileDialog, QDialog::exec, and
// QDesktopServices for addresses.
class QtPrompts : public Prompts {
 public:
  void Warn(QWidget* parent, const QString& text) override;
  bool AskYesNo(QWidget* parent, const QString& text,
                const QString& caption) override;
  std::optional<QStringList> ChooseLogFiles(QWidget* parent) override;
  int RunSettingsDialog(SettingsDialog* dialog) override;
  void RunAboutDialog(AboutDialog* dialog) override;
  void OpenUrl(const QUrl& url) override;
};

}  // namespace tovex

#endif  // TOVEX_APP_PROMPTS_H_
