#include "app/main_window.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QMetaObject>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "app/about_dialog.h"
#include "app/app_info.h"
#include "app/settings_dialog.h"
#include "base/texts.h"
#include "ui_main_window.h"

namespace tovex {
namespace {

QString Text(UserText t) {
  const std::string_view text = TextOf(t);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// Carries the job's status texts to the window. Runs on the worker; queued
// calls to one receiver from one thread arrive in the order they were made.
class MainWindow::StatusRelay : public JobObserver {
 public:
  explicit StatusRelay(MainWindow* window) : window_(window) {}

  void OnStatus(std::string_view text) override {
    QString status =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QMetaObject::invokeMethod(
        window_, [window = window_, status] { window->SetStatus(status); },
        Qt::QueuedConnection);
  }

 private:
  MainWindow* window_;
};

void EndProcessNow(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      ui_(std::make_unique<Ui::MainWindowForm>()) {
  ctx_.platform = services_.platform;
  ui_->setupUi(this);
  setFont(DialogFont());
  // Caption, system menu and minimise box; no maximise box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(size());
  setWindowIcon(QIcon(QStringLiteral(":/images/icon_128.png")));
  ui_->button1043_homepage->setIcon(
      QIcon(QStringLiteral(":/images/bitmap_137.png")));
  ui_->frame_status->lower();
  SetStatus(Text(UserText::kHello));

  connect(ui_->button1009_open, &QPushButton::clicked, this,
          &MainWindow::OnOpen);
  connect(ui_->button1007_run, &QPushButton::clicked, this, &MainWindow::OnRun);
  connect(ui_->button1000_settings, &QPushButton::clicked, this,
          &MainWindow::OnSettings);
  connect(ui_->button1001_info, &QPushButton::clicked, this,
          &MainWindow::OnInfo);
  connect(ui_->button1043_homepage, &QPushButton::clicked, this,
          &MainWindow::OnHomePage);
  connect(ui_->button1_exit, &QPushButton::clicked, this, &QDialog::accept);

  // Esc is looked at before the dialog's own key handling, which would
  // close the window without asking.
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) {
    child->installEventFilter(this);
  }
  ui_->button1009_open->setFocus();
}

MainWindow::~MainWindow() {
  if (worker_.joinable()) worker_.join();
}

Status MainWindow::Initialise() {
  const std::string current = ctx_.platform.fs->CurrentDirectory();
  if (current.empty()) return Status::CannotOpen(".");
  ctx_.base_dir = BaseDirectoryFrom(current);
  TOVEX_RETURN_IF_ERROR(LoadSettings(ctx_, &settings_));
  running_.store(false);
  return Status::Ok();
}

QString MainWindow::StatusText() const { return ui_->label1040_status->text(); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    return ConfirmExit();
  }
  return QDialog::eventFilter(watched, event);
}

bool MainWindow::ConfirmExit() {
  if (services_.prompts->AskYesNo(this, Text(UserText::kExitQuestion),
                                  QString::fromUtf8(kProductName))) {
    accept();
  }
  return true;
}

bool MainWindow::RefuseWhileRunning() {
  if (!running_.load()) return false;
  services_.prompts->Warn(this, Text(UserText::kBusy));
  return true;
}

void MainWindow::SetStatus(const QString& text) {
  ui_->label1040_status->setText(text);
  emit statusChanged(text);
}

void MainWindow::OnOpen() {
  if (RefuseWhileRunning()) return;
  SetStatus(Text(UserText::kHello));
  const std::optional<QStringList> chosen =
      services_.prompts->ChooseLogFiles(this);
  if (chosen) SetLogFiles(*chosen);
}

void MainWindow::SetLogFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  log_paths_.clear();
  // One name as it is; several quoted one by one, as the file dialog shows
  // them.
  QStringList names;
  for (const QString& path : paths) {
    log_paths_.push_back(QFile::encodeName(path).toStdString());
    names << QFileInfo(path).fileName();
  }
  ui_->edit1003_logfile->setText(
      names.size() == 1 ? names[0]
                        : QStringLiteral("\"%1\"").arg(names.join("\" \"")));
  ui_->button1007_run->setEnabled(true);
}

void MainWindow::OnRun() {
  if (RefuseWhileRunning()) return;
  StartJob();
}

void MainWindow::StartJob() {
  // A worker left from the last job has cleared the running flag, which is
  // its job's last action; at most it is returning now.
  if (worker_.joinable()) worker_.join();
  RunRequest request;
  request.inputs = log_paths_;
  request.run_level = settings_.run_level;
  request.cancel = services_.stop;
  // Set here rather than by the job, so that a second press of Run that
  // arrives before the worker gets going is refused too.
  running_.store(true);
  worker_busy_.store(true);
  worker_ = std::thread([this, ctx = ctx_, request] {
    StatusRelay relay(this);
    JobOutcome outcome;
    const Status status =
        services_.run_job(ctx, request, &relay, &running_, &outcome);
    running_.store(false);
    // A stopped job stops because the program ends: nothing to say.
    if (!status.ok() && status.code() != Status::Code::kCancelled) {
      if (status.code() != Status::Code::kNotAccessLog) {
        exit_code_.store(status.ExitCode());
      }
      QMetaObject::invokeMethod(
          this, [this, status] { Fail(status); }, Qt::QueuedConnection);
    }
    worker_busy_.store(false);
  });
}

void MainWindow::StopJobAndWait() {
  if (!WorkerBusy()) return;
  if (services_.stop != nullptr) {
    int none = 0;
    services_.stop->compare_exchange_strong(none, kStopAsked);
  }
  // The job may still show a message box; the events keep flowing for it.
  while (WorkerBusy()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void MainWindow::OnSettings() {
  if (RefuseWhileRunning()) return;
  SetStatus(Text(UserText::kHello));
  SettingsDialog dialog(services_.prompts, this);
  dialog.SetValues(settings_);
  if (services_.prompts->RunSettingsDialog(&dialog) != QDialog::Accepted) {
    return;
  }
  Settings confirmed = dialog.Values();
  ClampSettings(&confirmed);
  // The keys the dialog does not show are the file's as it is now.
  Settings on_disk;
  if (LoadSettings(ctx_, &on_disk).ok()) {
    for (const LineKey& k : kLineKeys) confirmed.*k.field = on_disk.*k.field;
  }
  settings_ = confirmed;
  const Status status = WriteSettingsFile(ctx_, settings_);
  if (!status.ok()) Fail(status);
}

void MainWindow::OnInfo() {
  // During a run the status line keeps the job's progress text.
  if (!running_.load()) SetStatus(Text(UserText::kHello));
  AboutDialog about(this);
  services_.prompts->RunAboutDialog(&about);
}

void MainWindow::OnHomePage() {
  services_.prompts->OpenUrl(QUrl(QString::fromUtf8(kHomePageAddress)));
}

void MainWindow::Fail(const Status& status) {
  if (status.code() == Status::Code::kNotAccessLog) {
    // A refused log ends only the run; the message is the whole of it.
    services_.prompts->Warn(this, QString::fromStdString(status.Message()));
    return;
  }
  exit_code_.store(status.ExitCode());
  services_.prompts->Warn(this, QString::fromStdString(status.Message()));
  services_.exit_process(status.ExitCode());
}

}  // namespace tovex
