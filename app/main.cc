// tovex: the desktop window of the access-log analyser.

#include <QApplication>

#include "app/app_info.h"
#include "app/gui_messages.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/sound_beeper.h"
#include "platform/posix_platform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tovex::SetUpApplication(&app);

  tovex::QtPrompts prompts;
  tovex::GuiMessages messages(&prompts);
  tovex::PosixFileSystem fs;
  tovex::PosixClock clock;
  tovex::IconvEncoder encoder;
  // Decides the browser message from xdg-open's exit status, which
  // QDesktopServices::openUrl does not report.
  tovex::PosixShell shell;
  tovex::SoundBeeper beeper;

  tovex::MainWindowServices services;
  services.platform = {&fs, &clock, &shell, &beeper, &messages, &encoder};
  services.prompts = &prompts;
  tovex::MainWindow window(services);
  messages.SetOwnerWindow(&window);

  const tovex::Status status = window.Initialise();
  if (!status.ok()) {
    prompts.Warn(nullptr, QString::fromStdString(status.Message()));
    return status.ExitCode();
  }
  // Files named on the command line ("Open with" of the desktop) are the
  // log.
  QStringList files = QApplication::arguments();
  files.removeFirst();
  window.SetLogFiles(files);
  window.exec();
  // A job still running ends with the process; it must not outlive the
  // window it reports to.
  if (window.WorkerBusy()) tovex::EndProcessNow(window.ExitCode());
  return window.ExitCode();
}
