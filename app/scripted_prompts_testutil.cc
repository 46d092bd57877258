#include "app/scripted_prompts_testutil.h"

#include <QApplication>
#include <QDialog>
#include <QTest>

#include "app/app_info.h"

namespace tovex {

void ScriptedPrompts::Warn(QWidget*, const QString& text) {
  warnings << text;
  warning_threads << QThread::currentThread();
}

bool ScriptedPrompts::AskYesNo(QWidget*, const QString& text,
                               const QString& caption) {
  questions << caption + QStringLiteral(": ") + text;
  return answer_yes;
}

std::optional<QStringList> ScriptedPrompts::ChooseLogFiles(QWidget*) {
  ++file_dialogs;
  return chosen_files;
}

int ScriptedPrompts::RunSettingsDialog(SettingsDialog* dialog) {
  ++settings_dialogs;
  return settings_script ? settings_script(dialog) : QDialog::Rejected;
}

void ScriptedPrompts::RunAboutDialog(AboutDialog*) { ++about_dialogs; }

void ScriptedPrompts::OpenUrl(const QUrl& url) { opened_urls << url; }

namespace {

// The handler below forwards to QtTest's; a message handler is a plain
// function, so the one it forwards to has to be kept here.
QtMessageHandler& NextHandler() {
  static QtMessageHandler next = nullptr;
  return next;
}

void FilterMessages(QtMsgType type, const QMessageLogContext& context,
                    const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support"))) {
    return;
  }
  NextHandler()(type, context, message);
}

}  // namespace

void QuietOffscreenWarnings() {
  NextHandler() = qInstallMessageHandler(FilterMessages);
}

int RunQtTest(QObject* test, int argc, char** argv) {
  QApplication app(argc, argv);
  SetUpApplication(&app);
  return QTest::qExec(test, argc, argv);
}

}  // namespace tovex
