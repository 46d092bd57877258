// tovex: the desktop window of the access-log analyser.

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_info.h"
#include "app/gui_messages.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/sound_beeper.h"
#include "base/texts.h"
#include "platform/posix_platform.h"

namespace {

// How often the window looks whether a signal asked it to close.
constexpr int kSignalPollMs = 200;

}  // namespace

int main(int argc, char** argv) {
  // Closed standard descriptors would be taken by the first files opened.
  tovex::OpenStandardDescriptors();
  // Before any other thread: a signal stops a running job cleanly and
  // closes the window.
  std::atomic<int> stop{0};
  tovex::SignalStopper stopper(&stop);
  tovex::PosixShell shell;
  if (!shell.HasDisplay() && std::getenv("QT_QPA_PLATFORM") == nullptr) {
    std::fprintf(
        stderr, "tovex: %s\n",
        std::string(tovex::TextOf(tovex::UserText::kNoWindow)).c_str());
    return 1;
  }
  QApplication app(argc, argv);
  tovex::SetUpApplication(&app);

  tovex::QtPrompts prompts;
  tovex::GuiMessages messages(&prompts);
  tovex::PosixFileSystem fs;
  tovex::PosixClock clock;
  tovex::IconvEncoder encoder;
  // The shell above decides the browser message from xdg-open's exit
  // status, which QDesktopServices::openUrl does not report.
  tovex::SoundBeeper beeper;

  tovex::MainWindowServices services;
  services.platform = {&fs, &clock, &shell, &beeper, &messages, &encoder};
  services.prompts = &prompts;
  services.stop = &stop;
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
  QTimer signal_poll;
  QObject::connect(&signal_poll, &QTimer::timeout, &window, [&] {
    if (stop.load() != 0) window.reject();
  });
  signal_poll.start(kSignalPollMs);
  window.exec();
  // A job still running stops; it must not outlive the window it reports
  // to, nor leave its files behind.
  window.StopJobAndWait();
  return stop.load() > 0 ? 128 + stop.load() : window.ExitCode();
}
