// Prompts for tests: records every dialog the window would show and answers
// from a script, so that no modal loop ever runs.

#ifndef TOVEX_APP_SCRIPTED_PROMPTS_TESTUTIL_H_
#define TOVEX_APP_SCRIPTED_PROMPTS_TESTUTIL_H_

#include <QDialog>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <functional>
#include <optional>

#include "app/prompts.h"

namespace tovex {

class ScriptedPrompts : public Prompts {
 public:
  void Warn(QWidget*, const QString& text) override {
    warnings << text;
    warning_threads << QThread::currentThread();
  }
  bool AskYesNo(QWidget*, const QString& text,
                const QString& caption) override {
    questions << caption + QStringLiteral(": ") + text;
    return answer_yes;
  }
  std::optional<QStringList> ChooseLogFiles(QWidget*) override {
    ++file_dialogs;
    return chosen_files;
  }
  int RunSettingsDialog(SettingsDialog* dialog) override {
    ++settings_dialogs;
    return settings_script ? settings_script(dialog) : QDialog::Rejected;
  }
  void RunAboutDialog(AboutDialog*) override { ++about_dialogs; }
  void OpenUrl(const QUrl& url) override { opened_urls << url; }

  // Answers.
  bool answer_yes = false;
  std::optional<QStringList> chosen_files;  // nothing: the user cancels
  // Plays the user's part in the settings dialog and returns its result;
  // unset: the user cancels at once.
  std::function<int(SettingsDialog*)> settings_script;

  // Records.
  QStringList warnings;
  QList<QThread*> warning_threads;
  QStringList questions;  // "caption: text"
  int file_dialogs = 0;
  int settings_dialogs = 0;
  int about_dialogs = 0;
  QList<QUrl> opened_urls;
};

// Runs the QtTest object `test` in a QApplication set up like the program's.
int RunQtTest(QObject* test, int argc, char** argv);

// Keeps the offscreen platform's complaints about raise() and keyboard grabs
// (which it cannot do, and which no test needs) out of the test log. Call
// from initTestCase, once QtTest has installed its own message handler.
void QuietOffscreenWarnings();

}  // namespace tovex

#endif  // TOVEX_APP_SCRIPTED_PROMPTS_TESTUTIL_H_
