// The program's only window: pick an access log (Open), run the analysis of
// the chosen run level on a worker thread (Run), edit the settings, show the
// About box, open the maker's home page, and show the job's progress in a
// one-line status text.
//
// Threads. The GUI thread runs every handler; one worker thread at a time
// runs the job. They share the atomic running flag: Run sets it before the
// worker starts and the job clears it as its last action, so two jobs never
// overlap. While it is set, Open, Run and Settings refuse. The worker runs
// the whole run (RunAnalysis: settings, folders, log check, job, pages put
// in place) and reaches the window only through queued calls (status
// texts, in order) and through the Messages service, which carries its
// boxes to the GUI thread.
//
// Ending. When the window closes while the worker still runs, the program
// asks the job to stop and waits for it (StopJobAndWait): its work files
// go and the old report stays as it was. A failed run shows its message;
// a refused log ends only the run, any other failure ends the process with
// the failure's exit status (ProcessExit).

#ifndef TOVEX_APP_MAIN_WINDOW_H_
#define TOVEX_APP_MAIN_WINDOW_H_

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/prompts.h"
#include "base/status.h"
#include "job/job.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace Ui {
class MainWindowForm;
}  // namespace Ui

namespace tovex {

// Runs one analysis; RunAnalysis in the program, a scripted stand-in in
// tests.
using JobRunner = std::function<Status(
    const Context& ctx, const RunRequest& request, JobObserver* observer,
    std::atomic<bool>* running, JobOutcome* outcome)>;

// Ends the process with `code`. The program's default never returns; a
// test's may, and the window then stops what it was doing.
using ProcessExit = std::function<void(int code)>;

// Flushes the standard streams and ends the process at once, without running
// destructors (a job may still be running on another thread).
[[noreturn]] void EndProcessNow(int code);

struct MainWindowServices {
  // The services of jobs and of the window's own file work. Not owned.
  Platform platform;
  // Read by every job: a nonzero value stops it (a signal's number, or
  // kStopAsked). Not owned; null: jobs run to their end.
  std::atomic<int>* stop = nullptr;
  // The modal dialogs. Not owned.
  Prompts* prompts = nullptr;
  JobRunner run_job = RunAnalysis;
  ProcessExit exit_process = EndProcessNow;
};

class MainWindow : public QDialog {
  Q_OBJECT

 public:
  explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);
  // Waits for a worker that has finished its job but not yet returned.
  // REQUIRES: !WorkerBusy().
  ~MainWindow() override;

  // Takes the current directory as the base directory and loads the settings
  // (creating the settings file when missing). Call once before showing the
  // window; a failure means the process must end with its message.
  Status Initialise();

  // True from Run until the worker thread has done its last step.
  bool WorkerBusy() const { return worker_busy_.load(); }
  // Asks a running job to stop, then keeps the window's events flowing
  // until the worker has ended.
  void StopJobAndWait();
  // The exit status the process owes: 1 once a job failed, else 0.
  int ExitCode() const { return exit_code_.load(); }

  // For the program's tests.
  QString StatusText() const;
  const Context& context() const { return ctx_; }
  const Settings& settings() const { return settings_; }
  const std::vector<std::string>& log_paths() const { return log_paths_; }

  // Takes `paths` as the log, as if they had been chosen with Open (the
  // command line's files). Nothing changes for an empty list.
  void SetLogFiles(const QStringList& paths);
  bool JobRunning() const { return running_.load(); }

 signals:
  // Each text the status line takes, in order.
  void statusChanged(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class StatusRelay;

  void OnOpen();
  void OnRun();
  void OnSettings();
  void OnInfo();
  void OnHomePage();
  // Asks before closing; true when the key was Esc (handled either way).
  bool ConfirmExit();

  // Shows the busy message and returns true while a job runs.
  bool RefuseWhileRunning();
  void SetStatus(const QString& text);
  void StartJob();
  // Shows the failure's message, then ends the process with its status
  // unless the failure only refused the log.
  void Fail(const Status& status);

  MainWindowServices services_;
  std::unique_ptr<Ui::MainWindowForm> ui_;
  Context ctx_;
  Settings settings_;
  std::vector<std::string> log_paths_;

  std::atomic<bool> running_{false};
  std::atomic<bool> worker_busy_{false};
  std::atomic<int> exit_code_{0};
  std::thread worker_;
};

}  // namespace tovex

#endif  // TOVEX_APP_MAIN_WINDOW_H_
