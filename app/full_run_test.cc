// A whole run from the window, with the real job, over the bundled sample
// log at the day level, must write the same pages as the job run directly,
// as tovex-cli runs it. Skips while the sample is missing.

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "app/gui_messages.h"
#include "app/main_window.h"
#include "app/scripted_prompts_testutil.h"
#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

constexpr int kRunTimeoutMs = 300000;

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class FullRunTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QuietOffscreenWarnings(); }

  void windowWritesTheSamePagesAsTheJobAlone() {
    const QString sample = TOVEX_SOURCE_DIR "/samples/sample.log";
    if (!QFile::exists(sample)) QSKIP("samples/sample.log is missing");
    FakeEnvironment alone;
    RunRequest request;
    request.inputs = {sample.toStdString()};
    request.run_level = RunLevel::kDay;
    JobOutcome outcome;
    QVERIFY(
        RunAnalysis(alone.context(), request, nullptr, nullptr, &outcome).ok());

    FakeEnvironment env;
    const QString base = QString::fromStdString(env.dir.path());
    const QString old_cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(base));
    ScriptedPrompts prompts;
    GuiMessages messages(&prompts);
    std::vector<int> exits;
    MainWindowServices services;
    services.platform = env.context().platform;
    services.platform.messages = &messages;
    services.prompts = &prompts;
    services.exit_process = [&exits](int code) { exits.push_back(code); };
    MainWindow window(services);
    messages.SetOwnerWindow(&window);
    QVERIFY(window.Initialise().ok());
    window.show();

    prompts.chosen_files = QStringList{sample};
    window.findChild<QPushButton*>("button1009_open")->click();
    window.findChild<QPushButton*>("button1007_run")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.WorkerBusy(), kRunTimeoutMs);
    QDir::setCurrent(old_cwd);

    QCOMPARE(exits, std::vector<int>{});
    QCOMPARE(prompts.warnings, QStringList{});
    // The job's last texts may still be queued for the window.
    QTRY_VERIFY2(window.StatusText().startsWith("Finished!! - taken"),
                 qPrintable(window.StatusText()));
    QCOMPARE(env.beeper.beeps.size(), size_t{1});
    QCOMPARE(env.shell.opened,
             std::vector<std::string>{env.dir.path() + "htmldir/index.html"});

    const QDir alone_pages(QString::fromStdString(alone.dir.path()) +
                           "htmldir");
    const QDir window_pages(base + "htmldir");
    const QStringList names = alone_pages.entryList(QDir::Files, QDir::Name);
    QVERIFY(names.contains("index.html"));
    QCOMPARE(window_pages.entryList(QDir::Files, QDir::Name), names);
    for (const QString& name : names) {
      QVERIFY2(FileBytes(window_pages.filePath(name)) ==
                   FileBytes(alone_pages.filePath(name)),
               qPrintable(name + " differs"));
    }
  }
};

}  // namespace tovex

int main(int argc, char** argv) {
  tovex::FullRunTest test;
  return tovex::RunQtTest(&test, argc, argv);
}

#include "full_run_test.moc"
