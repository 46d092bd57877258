#include "app/main_window.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "app/app_info.h"
#include "app/gui_messages.h"
#include "app/refill_combo_box.h"
#include "app/scripted_prompts_testutil.h"
#include "app/settings_dialog.h"
#include "base/texts.h"
#include "platform/posix_platform.h"
#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

constexpr char kLogLine[] =
    "host.example.com - - [10/Oct/2000:13:55:36 -0700] "
    "\"GET /index.html HTTP/1.0\" 200 2326\n";

// A job that sends scripted status texts, runs an optional step, and then
// waits until the test releases it; then it clears the running flag, as the
// real job does last, and returns the scripted result.
class FakeJob {
 public:
  // What the jobs started so far were given.
  struct Seen {
    int starts = 0;
    RunRequest request;
  };

  JobRunner Runner() {
    return
        [this](const Context&, const RunRequest& request, JobObserver* observer,
               std::atomic<bool>* running, JobOutcome*) {
          {
            std::lock_guard<std::mutex> lock(mu_);
            seen_ = {seen_.starts + 1, request};
          }
          for (const std::string& text : texts) observer->OnStatus(text);
          std::unique_lock<std::mutex> lock(mu_);
          cv_.wait(lock, [this] { return released_; });
          running->store(false);
          return result;
        };
  }

  // Lets the running job, and every later one, end.
  void Release() {
    std::lock_guard<std::mutex> lock(mu_);
    released_ = true;
    cv_.notify_all();
  }
  Seen seen() {
    std::lock_guard<std::mutex> lock(mu_);
    return seen_;
  }
  int starts() { return seen().starts; }

  // Set before the job starts.
  std::vector<std::string> texts;
  Status result;

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool released_ = false;
  Seen seen_;
};

QString Utf8(const char* text) { return QString::fromUtf8(text); }
QString Utf8(UserText t) { return QString::fromUtf8(TextOf(t).data()); }

std::string FileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::string();
  return file.readAll().toStdString();
}

void WriteFile(const QString& path, const std::string& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

QStringList FileLines(const QString& path) {
  QString text = QString::fromStdString(FileBytes(path));
  text.remove('\r');
  return text.split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> dir_;
  QString old_cwd_;
  PosixFileSystem fs_;
  PosixClock clock_;
  IconvEncoder encoder_;
  FakeShell shell_;
  FakeBeeper beeper_;
  std::unique_ptr<ScriptedPrompts> prompts_;
  std::unique_ptr<GuiMessages> messages_;
  std::unique_ptr<FakeJob> job_;
  std::vector<int> exits_;
  std::unique_ptr<MainWindow> window_;

  QString Path(const QString& name) const {
    return QString::fromStdString(dir_->path()) + name;
  }
  QString SettingsPath() const { return Path("quorvane.ini"); }

  // Starts a window in the scratch directory, as the program does.
  void StartWindow() {
    MainWindowServices services;
    services.platform = {&fs_,     &clock_,         &shell_,
                         &beeper_, messages_.get(), &encoder_};
    services.prompts = prompts_.get();
    services.run_job = job_->Runner();
    services.exit_process = [this](int code) { exits_.push_back(code); };
    window_ = std::make_unique<MainWindow>(std::move(services));
    messages_->SetOwnerWindow(window_.get());
    const Status status = window_->Initialise();
    QVERIFY2(status.ok(), status.Message().c_str());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  // Ends every job and closes the window.
  void StopWindow() {
    if (!window_) return;
    job_->Release();
    QTRY_VERIFY(!window_->WorkerBusy());
    window_.reset();
  }

  void RestartWith(const std::string& settings_file) {
    StopWindow();
    job_ = std::make_unique<FakeJob>();
    WriteFile(SettingsPath(), settings_file);
    StartWindow();
  }

  QPushButton* Button(const char* name) {
    auto* button = window_->findChild<QPushButton*>(name);
    if (button == nullptr) qFatal("no button %s", name);
    return button;
  }
  QString LogBox() {
    return window_->findChild<QLineEdit*>("edit1003_logfile")->text();
  }

  QString WriteLog(const QString& name, const std::string& content) {
    const QString path = Path(name);
    WriteFile(path, content);
    return path;
  }
  void Open(const std::optional<QString>& chosen) {
    prompts_->chosen_files =
        chosen ? std::optional(QStringList{*chosen}) : std::nullopt;
    Button("button1009_open")->click();
  }
  void OpenLog() { Open(WriteLog("access.log", kLogLine)); }
  void Run() { Button("button1007_run")->click(); }
  // Runs a job over a fresh log and waits until it has sent its texts.
  void StartJob(std::vector<std::string> texts = {"Running!!"}) {
    job_->texts = texts;
    OpenLog();
    Run();
    QVERIFY(window_->JobRunning());
    QTRY_COMPARE(window_->StatusText(), QString::fromStdString(texts.back()));
  }
  void FinishJob() {
    job_->Release();
    QTRY_VERIFY(!window_->WorkerBusy());
  }
  // In the next settings dialog the user clicks `radio`, types into boxes
  // and presses `button`.
  void ScriptSettings(const QString& radio,
                      std::vector<std::pair<QString, QString>> typed,
                      const QString& button) {
    prompts_->settings_script = [=](SettingsDialog* dialog) {
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

  void init() {
    dir_ = std::make_unique<TempDir>();
    old_cwd_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(dir_->path())));
    prompts_ = std::make_unique<ScriptedPrompts>();
    messages_ = std::make_unique<GuiMessages>(prompts_.get());
    job_ = std::make_unique<FakeJob>();
    exits_.clear();
    StartWindow();
  }

  void cleanup() {
    StopWindow();
    messages_.reset();
    QDir::setCurrent(old_cwd_);
    dir_.reset();
  }

  void startsInTheCurrentDirectory() {
    QCOMPARE(window_->context().base_dir, dir_->path());
    QVERIFY(QFile::exists(SettingsPath()));
    QCOMPARE(window_->StatusText(), Utf8(UserText::kHello));
    QVERIFY(!window_->JobRunning());
  }

  void runIsDisabledUntilOpen() {
    QVERIFY(!Button("button1007_run")->isEnabled());
    Run();
    QCOMPARE(job_->starts(), 0);

    const QString log = WriteLog("first.log", kLogLine);
    Open(log);
    QVERIFY(Button("button1007_run")->isEnabled());
    QCOMPARE(LogBox(), QString("first.log"));
    // A cancelled Open keeps the log and the button.
    Open(std::nullopt);
    QCOMPARE(prompts_->file_dialogs, 2);
    QCOMPARE(window_->log_paths(), std::vector{log.toStdString()});
    QVERIFY(Button("button1007_run")->isEnabled());
    // Several files: shown one by one in quotes, all of them the log.
    prompts_->chosen_files = QStringList{Path("a.log"), Path("b.log.gz")};
    Button("button1009_open")->click();
    QCOMPARE(LogBox(), QString("\"a.log\" \"b.log.gz\""));
    QCOMPARE(window_->log_paths().size(), size_t{2});
  }

  void runTwiceDuringJobStartsOneJob() {
    OpenLog();
    Run();
    Run();  // at once, before the worker can have done anything
    QCOMPARE(prompts_->warnings, QStringList{Utf8(UserText::kBusy)});
    FinishJob();
    QCOMPARE(job_->starts(), 1);

    Run();  // the flag is clear again: the next job starts
    QTRY_COMPARE(job_->starts(), 2);
  }

  void refusedWhileRunning_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("開く") << "button1009_open";
    QTest::newRow("設定") << "button1000_settings";
  }
  void refusedWhileRunning() {
    QFETCH(QString, button);
    StartJob();
    const int file_dialogs = prompts_->file_dialogs;
    Button(button.toLatin1().constData())->click();
    QCOMPARE(prompts_->warnings, QStringList{Utf8(UserText::kBusy)});
    QCOMPARE(prompts_->file_dialogs, file_dialogs);
    QCOMPARE(prompts_->settings_dialogs, 0);
    QCOMPARE(job_->starts(), 1);
    QCOMPARE(window_->StatusText(), QString("Running!!"));
  }

  void infoDuringJobKeepsStatusText() {
    StartJob({"Running!!"});
    Button("button1001_info")->click();
    QCOMPARE(prompts_->about_dialogs, 1);
    QVERIFY(prompts_->warnings.isEmpty());
    QCOMPARE(window_->StatusText(), QString("Running!!"));
  }

  void statusTextsArriveInOrder() {
    std::vector<std::string> texts;
    QStringList expected;
    for (int i = 0; i < 50; ++i) {
      texts.push_back("Processing!! - 2001-" + std::to_string(i));
      expected << QString::fromStdString(texts.back());
    }
    QSignalSpy spy(window_.get(), &MainWindow::statusChanged);
    job_->texts = texts;
    OpenLog();
    spy.clear();  // Open's "Hello!!"
    Run();
    QTRY_COMPARE(spy.count(), 50);
    QStringList seen;
    for (const QList<QVariant>& call : spy) seen << call.at(0).toString();
    QCOMPARE(seen, expected);
    QVERIFY(window_->JobRunning());  // the window kept up while the job ran
  }

  void lastStatusStaysUntilReset_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("開く (cancelled)") << "button1009_open";
    QTest::newRow("設定 (cancelled)") << "button1000_settings";
    QTest::newRow("情報") << "button1001_info";
  }
  void lastStatusStaysUntilReset() {
    QFETCH(QString, button);
    StartJob({"Running!!", "Finished!! - taken      3 sec"});
    FinishJob();
    QTRY_COMPARE(window_->StatusText(),
                 QString("Finished!! - taken      3 sec"));
    prompts_->chosen_files = std::nullopt;
    Button(button.toLatin1().constData())->click();
    QCOMPARE(window_->StatusText(), Utf8(UserText::kHello));
  }

  void jobGetsRunLevelAndLog() {
    ScriptSettings("radio1005_month", {}, "button1_save");
    Button("button1000_settings")->click();
    StartJob();
    QCOMPARE(job_->seen().request.run_level,
             std::optional<RunLevel>(RunLevel::kMonth));
    QCOMPARE(job_->seen().request.inputs,
             std::vector{Path("access.log").toStdString()});
  }

  void failedJobEndsProcessWithItsMessage() {
    const Status failure = Status::CannotOpen("/gone/workdir/1.dk");
    job_->result = failure;
    StartJob();
    FinishJob();
    QTRY_COMPARE(exits_, std::vector<int>{1});
    QCOMPARE(prompts_->warnings,
             QStringList{QString::fromStdString(failure.Message())});
    QCOMPARE(window_->ExitCode(), 1);
  }

  void refusedLogShowsItsMessageOnly() {
    job_->result = Status::NotAccessLog("readme.txt");
    StartJob();
    FinishJob();
    QTRY_COMPARE(prompts_->warnings,
                 QStringList{QString::fromStdString(
                     Status::NotAccessLog("readme.txt").Message())});
    QVERIFY(exits_.empty());
    QCOMPARE(window_->ExitCode(), 0);
  }

  void escAsksBeforeClosing_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("yes");
    QTest::newRow("window, No") << "" << false;
    QTest::newRow("focused button, Yes") << "button1000_settings" << true;
  }
  void escAsksBeforeClosing() {
    QFETCH(QString, target);
    QFETCH(bool, yes);
    prompts_->answer_yes = yes;
    QWidget* widget = target.isEmpty() ? static_cast<QWidget*>(window_.get())
                                       : Button(target.toLatin1().constData());
    QTest::keyClick(widget, Qt::Key_Escape);
    QCOMPARE(prompts_->questions, QStringList{Utf8(kProductName) + ": " +
                                              Utf8(UserText::kExitQuestion)});
    QCOMPARE(window_->isVisible(), !yes);
  }

  void exitButtonClosesWithoutAskingEvenDuringJob() {
    StartJob();
    Button("button1_exit")->click();
    QVERIFY(!window_->isVisible());
    QVERIFY(prompts_->questions.isEmpty());
    // The program ends the process here rather than wait for the job.
    QVERIFY(window_->WorkerBusy());
  }

  void settingsSaveStoresClampsAndWrites() {
    ScriptSettings("radio1004_year",
                   {{"combo1031_index_domn", " 5"},
                    {"combo1010_index_clas", "99"},
                    {"combo1032_days_html", "35"}},
                   "button1_save");
    Button("button1000_settings")->click();
    QCOMPARE(prompts_->settings_dialogs, 1);
    const QStringList lines = FileLines(SettingsPath());
    QVERIFY2(lines.contains("INDEXDOMN=10"), qPrintable(lines.join('|')));
    QVERIFY(lines.contains("INDEXCLAS=50"));
    QVERIFY(lines.contains("DAYSHTML=35"));
    QVERIFY(lines.contains("RUNLEVEL=0"));
    QVERIFY(lines.contains("WORKDIR=workdir\\"));
    QCOMPARE(window_->settings().index_rows.domains, 10);
    QCOMPARE(window_->settings().index_rows.organisations, 50);
    QVERIFY(window_->settings().run_level == RunLevel::kYear);
  }

  void settingsCancelLeavesFileByteForByte() {
    // Out of order, extra lines, CR LF, a clamped value: all would change
    // if the file were rewritten.
    const std::string file =
        "; hand-edited\r\nRUNLEVEL=1\r\n[SYSTEM]\r\nINDEXDOMN=99\r\n"
        "WORKDIR=work\\\r\nHTMLDIR=html\\\r\n";
    RestartWith(file);
    const Settings loaded = window_->settings();
    ScriptSettings("radio1006_day", {{"combo1031_index_domn", "20"}},
                   "button2_cancel");
    Button("button1000_settings")->click();
    QCOMPARE(prompts_->settings_dialogs, 1);
    QCOMPARE(FileBytes(SettingsPath()), file);
    QVERIFY(window_->settings() == loaded);
  }

  void homePageButtonOpensTheAddress() {
    StartJob();  // not refused during a job
    Button("button1043_homepage")->click();
    QCOMPARE(prompts_->opened_urls, QList<QUrl>{QUrl(Utf8(kHomePageAddress))});
    QVERIFY(prompts_->warnings.isEmpty());
  }
};

}  // namespace tovex

int main(int argc, char** argv) {
  tovex::MainWindowTest test;
  return tovex::RunQtTest(&test, argc, argv);
}

#include "main_window_test.moc"
