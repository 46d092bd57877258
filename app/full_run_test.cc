// A whole run from the window, with the real job, over the bundled sample
// log at the day level, must write the same pages as tovex-cli. Skips while
// the sample or a working tovex-cli is missing.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include "app/gui_messages.h"
#include "app/main_window.h"
#include "app/scripted_prompts_testutil.h"
#include "platform/posix_platform.h"
#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

constexpr int kRunTimeoutMs = 300000;

QString SamplePath() {
  return QStringLiteral(TOVEX_SOURCE_DIR "/samples/sample.log");
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class FullRunTest : public QObject {
  Q_OBJECT

 private:
  // Runs tovex-cli in `dir`; false when it cannot produce a report.
  static bool RunCli(const QString& dir, QString* why) {
    QProcess cli;
    cli.setWorkingDirectory(dir);
    cli.start(QStringLiteral(TOVEX_CLI_PATH),
              {"--run-level", "2", SamplePath()});
    if (!cli.waitForFinished(kRunTimeoutMs)) {
      *why = "tovex-cli did not finish";
      return false;
    }
    *why = QString::fromUtf8(cli.readAllStandardError()).trimmed();
    return cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0 &&
           QFile::exists(dir + "/htmldir/index.html");
  }

 private slots:
  void initTestCase() { QuietOffscreenWarnings(); }

  void windowWritesTheSamePagesAsCli() {
    if (!QFile::exists(SamplePath())) QSKIP("samples/sample.log is missing");
    TempDir cli_dir;
    const QString cli_base = QString::fromStdString(cli_dir.path());
    QString why;
    if (!RunCli(cli_base, &why)) {
      QSKIP(qPrintable("tovex-cli writes no report: " + why));
    }

    TempDir window_dir;
    const QString base = QString::fromStdString(window_dir.path());
    const QString old_cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(base));
    ScriptedPrompts prompts;
    GuiMessages messages(&prompts);
    PosixFileSystem fs;
    PosixClock clock;
    IconvEncoder encoder;
    FakeShell shell;
    FakeBeeper beeper;
    std::vector<int> exits;
    MainWindowServices services;
    services.platform = {&fs, &clock, &shell, &beeper, &messages, &encoder};
    services.prompts = &prompts;
    services.exit_process = [&exits](int code) { exits.push_back(code); };
    MainWindow window(services);
    messages.SetOwnerWindow(&window);
    QVERIFY(window.Initialise().ok());
    window.show();

    prompts.chosen_files = QStringList{SamplePath()};
    window.findChild<QPushButton*>("button1009_open")->click();
    window.findChild<QPushButton*>("button1007_run")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.WorkerBusy(), kRunTimeoutMs);
    QDir::setCurrent(old_cwd);

    QCOMPARE(exits, std::vector<int>{});
    QCOMPARE(prompts.warnings, QStringList{});
    // The job's last texts may still be queued for the window.
    QTRY_VERIFY2(window.StatusText().startsWith("Finished!! - taken"),
                 qPrintable(window.StatusText()));
    QCOMPARE(beeper.beeps.size(), size_t{1});
    QCOMPARE(shell.opened, std::vector<std::string>{window_dir.path() +
                                                    "htmldir/index.html"});

    const QDir cli_pages(cli_base + "htmldir");
    const QDir window_pages(base + "htmldir");
    const QStringList names = cli_pages.entryList(QDir::Files, QDir::Name);
    QCOMPARE(window_pages.entryList(QDir::Files, QDir::Name), names);
    for (const QString& name : names) {
      QVERIFY2(FileBytes(window_pages.filePath(name)) ==
                   FileBytes(cli_pages.filePath(name)),
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
