// The window's wiring: what each button does, when it refuses, how the
// job's texts and outcome reach the window. The run itself is the core's
// and is stood in for by a scripted job, but for one whole run over the
// bundled sample log.

#include "app/main_window.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <optional>

#include "app/app_info.h"
#include "app/gui_messages.h"
#include "app/refill_combo_box.h"
#include "app/scripted_prompts_testutil.h"
#include "app/settings_dialog.h"
#include "base/texts.h"
#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

constexpr char kLogLine[] =
    "host.example.com - - [10/Oct/2000:13:55:36 -0700] "
    "\"GET /index.html HTTP/1.0\" 200 2326\n";

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A job that sends scripted status texts and then waits until the test
// releases it or a stop is asked for; it clears the running flag, as the
// real job does last, and returns the scripted result. Or the real job.
struct FakeJob {
  JobRunner Runner() {
    return
        [this](const Context& ctx, const RunRequest& run, JobObserver* observer,
               std::atomic<bool>* running, JobOutcome* outcome) {
          if (real) return RunAnalysis(ctx, run, observer, running, outcome);
          ++starts;
          request = run;
          for (const std::string& text : texts) observer->OnStatus(text);
          while (!released.load() && run.cancel->load() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
          running->store(false);
          const int signal = run.cancel->load();
          return signal != 0 ? Status::Cancelled(signal) : result;
        };
  }

  // Set before the job starts.
  bool real = false;
  std::vector<std::string> texts = {"Running!!"};
  Status result;
  std::atomic<bool> released{false};
  std::atomic<int> starts{0};
  // Read once the job's texts have arrived.
  RunRequest request;
};

QString Utf8(UserText t) { return QString::fromUtf8(TextOf(t).data()); }

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<FakeEnvironment> env_;  // its folder is the current one
  QString old_cwd_;
  ScriptedPrompts prompts_;
  GuiMessages messages_{&prompts_};
  std::unique_ptr<FakeJob> job_;
  std::vector<int> exits_;
  std::atomic<int> stop_{0};
  std::unique_ptr<MainWindow> window_;

  std::string Dir() const { return env_->dir.path(); }
  QString Path(const QString& name) const {
    return QString::fromStdString(Dir()) + name;
  }
  std::string SettingsPath() const { return Dir() + "quorvane.ini"; }

  QPushButton* Button(const char* name) {
    auto* button = window_->findChild<QPushButton*>(name);
    if (button == nullptr) qFatal("no button %s", name);
    return button;
  }
  QString LogBox() {
    return window_->findChild<QLineEdit*>("edit1003_logfile")->text();
  }
  void Open(std::optional<QStringList> chosen) {
    prompts_.chosen_files = std::move(chosen);
    Button("button1009_open")->click();
  }
  void OpenLog() {
    WriteFileOrDie(Dir() + "access.log", kLogLine);
    Open(QStringList{Path("access.log")});
  }
  void Run() { Button("button1007_run")->click(); }
  // Runs the job over a fresh log and waits until it has sent its texts.
  void StartJob() {
    OpenLog();
    Run();
    QVERIFY(window_->JobRunning());
    QTRY_COMPARE(window_->StatusText(),
                 QString::fromStdString(job_->texts.back()));
  }
  void FinishJob() {
    job_->released = true;
    QTRY_VERIFY(!window_->WorkerBusy());
  }
  // In the next settings dialog the user clicks `radio`, types into boxes
  // and presses `button`.
  void ScriptSettings(const QString& radio,
                      std::vector<std::pair<QString, QString>> typed,
                      const QString& button) {
    prompts_.settings_script = [=](SettingsDialog* dialog) {
      dialog->findChild<QRadioButton*>(radio)->click();
      for (const auto& [box, text] : typed) {
        dialog->findChild<RefillComboBox*>(box)->setEditText(text);
      }
      dialog->findChild<QPushButton*>(button)->click();
      return dialog->result();
    };
  }

 private slots:
  void initTestCase() { QuietOffscreenWarnings(); }

  // A window in a scratch directory, as the program starts it.
  void init() {
    env_ = std::make_unique<FakeEnvironment>();
    old_cwd_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(Dir())));
    prompts_ = ScriptedPrompts();
    exits_.clear();
    stop_ = 0;
    job_ = std::make_unique<FakeJob>();
    MainWindowServices services;
    services.platform = env_->context().platform;
    services.platform.messages = &messages_;
    services.prompts = &prompts_;
    services.run_job = job_->Runner();
    services.exit_process = [this](int code) { exits_.push_back(code); };
    services.stop = &stop_;
    window_ = std::make_unique<MainWindow>(std::move(services));
    messages_.SetOwnerWindow(window_.get());
    const Status status = window_->Initialise();
    QVERIFY2(status.ok(), status.Message().c_str());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanup() {
    FinishJob();
    window_.reset();
    QDir::setCurrent(old_cwd_);
    env_.reset();
  }

  // A new window takes the current directory as its base, creates the
  // settings file there and keeps Run off until a log is chosen.
  void startsInCurrentDirectoryAndRunWaitsForOpen() {
    QCOMPARE(window_->context().base_dir, Dir());
    QCOMPARE(env_->fs.KindOf(SettingsPath()), PathKind::kRegular);
    QCOMPARE(window_->StatusText(), Utf8(UserText::kHello));
    QVERIFY(!Button("button1007_run")->isEnabled());
    Run();
    QCOMPARE(job_->starts.load(), 0);
    OpenLog();
    QVERIFY(Button("button1007_run")->isEnabled());
    QCOMPARE(LogBox(), QString("access.log"));
    // A cancelled Open keeps the log and the button.
    Open(std::nullopt);
    QCOMPARE(window_->log_paths(), std::vector{Dir() + "access.log"});
    QVERIFY(Button("button1007_run")->isEnabled());
    // Several files: shown one by one in quotes, all of them the log.
    Open(QStringList{Path("a.log"), Path("b.log.gz")});
    QCOMPARE(LogBox(), QString("\"a.log\" \"b.log.gz\""));
    QCOMPARE(window_->log_paths().size(), size_t{2});
  }

  // While a job runs, Run, Open and Settings refuse, even at once, before
  // the worker can have done anything.
  void refusedWhileRunning() {
    OpenLog();
    Run();
    Run();
    Button("button1009_open")->click();
    Button("button1000_settings")->click();
    QCOMPARE(prompts_.warnings, QStringList(3, Utf8(UserText::kBusy)));
    QCOMPARE(prompts_.file_dialogs, 1);
    QCOMPARE(prompts_.settings_dialogs, 0);
    FinishJob();
    QCOMPARE(job_->starts.load(), 1);
    Run();  // the flag is clear again: the next job starts
    QTRY_COMPARE(job_->starts.load(), 2);
  }

  // The job's texts arrive in order while the window keeps up. The last
  // stays while Info and the home page open during the job (neither is
  // refused), and after it until a button resets it.
  void statusTextsArriveInOrder() {
    job_->texts.clear();
    QStringList expected;
    for (int i = 0; i < 50; ++i) {
      job_->texts.push_back("Processing!! - 2001-" + std::to_string(i));
      expected << QString::fromStdString(job_->texts.back());
    }
    QSignalSpy spy(window_.get(), &MainWindow::statusChanged);
    StartJob();
    QStringList seen;
    for (const QList<QVariant>& call : spy) seen << call.at(0).toString();
    QCOMPARE(seen.mid(seen.size() - 50), expected);
    Button("button1001_info")->click();
    Button("button1043_homepage")->click();
    QCOMPARE(prompts_.about_dialogs, 1);
    QCOMPARE(prompts_.opened_urls,
             QList<QUrl>{QUrl(QString::fromUtf8(kHomePageAddress))});
    QCOMPARE(window_->StatusText(), expected.back());
    FinishJob();
    QCOMPARE(window_->StatusText(), expected.back());
    Button("button1001_info")->click();
    QCOMPARE(window_->StatusText(), Utf8(UserText::kHello));
  }

  // A failed job shows its message and ends the process; a refused log
  // only says so.
  void failedJobs_data() {
    QTest::addColumn<bool>("refused_log");
    QTest::newRow("cannot open") << false;
    QTest::newRow("not an access log") << true;
  }
  void failedJobs() {
    QFETCH(bool, refused_log);
    job_->result = refused_log ? Status::NotAccessLog("readme.txt")
                               : Status::CannotOpen("/gone/workdir/");
    StartJob();
    FinishJob();
    QTRY_COMPARE(prompts_.warnings,
                 QStringList{QString::fromStdString(job_->result.Message())});
    QCOMPARE(exits_, refused_log ? std::vector<int>{} : std::vector{1});
  }

  // Esc asks first, on the window and on a focused button alike.
  void escAsksBeforeClosing() {
    const QString question =
        QString::fromUtf8(kProductName) + ": " + Utf8(UserText::kExitQuestion);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    QCOMPARE(prompts_.questions, QStringList{question});
    QVERIFY(window_->isVisible());
    prompts_.answer_yes = true;
    QTest::keyClick(Button("button1000_settings"), Qt::Key_Escape);
    QCOMPARE(prompts_.questions, QStringList(2, question));
    QVERIFY(!window_->isVisible());
  }

  // Closing during a job asks nothing, stops the job and waits for it.
  void closingStopsTheJob() {
    StartJob();
    Button("button1_exit")->click();
    QVERIFY(!window_->isVisible());
    QVERIFY(prompts_.questions.isEmpty());
    window_->StopJobAndWait();
    QVERIFY(!window_->WorkerBusy());
    QCOMPARE(stop_.load(), kStopAsked);
    QVERIFY(prompts_.warnings.isEmpty());
  }

  // The real job from the window writes the same pages over the sample as
  // the job run directly, as tovex-cli runs it, and ends with the beep and
  // the index page opened.
  void wholeRunWritesTheJobsPages() {
    const QString sample = TOVEX_SOURCE_DIR "/samples/sample.log";
    if (!QFile::exists(sample)) QSKIP("samples/sample.log is missing");
    FakeEnvironment alone;
    RunRequest request;
    request.inputs = {sample.toStdString()};
    request.run_level = RunLevel::kDay;
    JobOutcome outcome;
    QVERIFY(
        RunAnalysis(alone.context(), request, nullptr, nullptr, &outcome).ok());
    job_->real = true;
    Open(QStringList{sample});
    Run();
    QTRY_VERIFY_WITH_TIMEOUT(!window_->WorkerBusy(), 300000);
    QVERIFY(exits_.empty());
    QVERIFY(prompts_.warnings.isEmpty());
    // The job's last texts may still be queued for the window.
    QTRY_VERIFY2(window_->StatusText().startsWith("Finished!! - taken"),
                 qPrintable(window_->StatusText()));
    QCOMPARE(env_->beeper.beeps.size(), size_t{1});
    QCOMPARE(env_->shell.opened,
             std::vector<std::string>{Dir() + "htmldir/index.html"});
    const QDir alone_pages(
        QString::fromStdString(alone.dir.path() + "htmldir"));
    const QDir window_pages(Path("htmldir"));
    const QStringList names = alone_pages.entryList(QDir::Files, QDir::Name);
    QVERIFY(names.contains("index.html"));
    QCOMPARE(window_pages.entryList(QDir::Files, QDir::Name), names);
    for (const QString& name : names) {
      QVERIFY2(FileBytes(window_pages.filePath(name)) ==
                   FileBytes(alone_pages.filePath(name)),
               qPrintable(name + " differs"));
    }
  }

  // Saved settings are clamped, written, and taken by the next job.
  void settingsSaveClampsWritesAndRuns() {
    ScriptSettings("radio1004_year",
                   {{"combo1031_index_domn", " 5"},
                    {"combo1010_index_clas", "99"},
                    {"combo1032_days_html", "35"}},
                   "button1_save");
    Button("button1000_settings")->click();
    const std::string file = ReadFileOrEmpty(SettingsPath());
    for (const char* line :
         {"INDEXDOMN=10\n", "INDEXCLAS=50\n", "DAYSHTML=35\n", "RUNLEVEL=0\n",
          "WORKDIR=workdir\\\n"}) {
      QVERIFY2(file.find(line) != std::string::npos, line);
    }
    QCOMPARE(window_->settings().index_rows.organisations, 50);
    StartJob();
    QVERIFY(job_->request.run_level == RunLevel::kYear);
    QCOMPARE(job_->request.inputs, std::vector{Dir() + "access.log"});
    QCOMPARE(job_->request.cancel, &stop_);
  }

  // A confirmed dialog changes the values it shows where they stand and
  // keeps every other line: each key it does not show, unknown ones too.
  void settingsSaveKeepsTheKeysItDoesNotShow() {
    std::string others = "; hand-edited\r\nUNKNOWN=kept as is\r\n";
    for (const LineKey& k : kLineKeys) {
      others += std::string(k.key) + "some value/" + std::string(k.key) + "\n";
    }
    WriteFileOrDie(SettingsPath(), others + "INDEXDOMN=11\r\n");
    ScriptSettings("radio1004_year", {{"combo1031_index_domn", "20"}},
                   "button1_save");
    Button("button1000_settings")->click();
    const std::string file = ReadFileOrEmpty(SettingsPath());
    QCOMPARE(file.substr(0, others.size()), others);
    QVERIFY(file.find("INDEXDOMN=20\r\n") != std::string::npos);
  }

  void settingsCancelLeavesFileByteForByte() {
    // Out of order, extra lines, CR LF, a clamped value: all would change
    // if the file were rewritten.
    const std::string file =
        "; hand-edited\r\nRUNLEVEL=1\r\n[SYSTEM]\r\nINDEXDOMN=99\r\n"
        "WORKDIR=work\\\r\nHTMLDIR=html\\\r\n";
    WriteFileOrDie(SettingsPath(), file);
    const Settings loaded = window_->settings();
    ScriptSettings("radio1004_year", {{"combo1031_index_domn", "20"}},
                   "button2_cancel");
    Button("button1000_settings")->click();
    QCOMPARE(prompts_.settings_dialogs, 1);
    QCOMPARE(ReadFileOrEmpty(SettingsPath()), file);
    QVERIFY(window_->settings() == loaded);
  }
};

}  // namespace tovex

int main(int argc, char** argv) {
  tovex::MainWindowTest test;
  return tovex::RunQtTest(&test, argc, argv);
}

#include "main_window_test.moc"
