// tovex_screenshots OUTDIR: shows each dialog of the window in turn and
// writes a PNG of it into OUTDIR, for review. Meant to run under Xvfb
// (scripts/screenshots), in a scratch directory: the main window loads and
// may create the settings file in the current directory.
//
// Without a window manager there is no caption bar, so each image gets a
// plain strip with the window's caption on top.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdio>

#include "app/about_dialog.h"
#include "app/app_info.h"
#include "app/gui_messages.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/settings_dialog.h"
#include "base/texts.h"
#include "platform/posix_platform.h"

namespace tovex {
namespace {

constexpr int kCaptionHeight = 24;
constexpr int kMargin = 40;  // where each window is placed on the screen
constexpr int kSettleMs = 300;

// The screen area of `window` (and of `extra_height` pixels below it, for an
// open list), with a caption strip above.
QImage Capture(QWidget* window, int extra_height = 0) {
  if (!QTest::qWaitForWindowExposed(window)) {
    std::fprintf(stderr, "not shown in time: %s\n",
                 qPrintable(window->objectName()));
  }
  QTest::qWait(kSettleMs);
  const QRect area = window->frameGeometry().adjusted(0, 0, 0, extra_height);
  const QPixmap shot = window->screen()->grabWindow(
      0, area.x(), area.y(), area.width(), area.height());
  QImage image(area.width(), area.height() + kCaptionHeight,
               QImage::Format_RGB32);
  image.fill(QColor(0x1d, 0x35, 0x57));
  QPainter painter(&image);
  painter.setPen(Qt::white);
  painter.setFont(DialogFont());
  painter.drawText(QRect(8, 0, area.width() - 16, kCaptionHeight),
                   Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
  painter.drawPixmap(0, kCaptionHeight, shot);
  return image;
}

bool Save(const QImage& image, const QString& dir, const char* name) {
  const QString path = QDir(dir).filePath(QString::fromLatin1(name));
  if (!image.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

int Run(const QString& out_dir) {
  QtPrompts prompts;
  GuiMessages messages(&prompts);
  PosixFileSystem fs;
  PosixClock clock;
  IconvEncoder encoder;
  PosixShell shell;
  SilentBeeper beeper;
  MainWindowServices services;
  services.platform = {&fs, &clock, &shell, &beeper, &messages, &encoder};
  services.prompts = &prompts;
  MainWindow window(services);
  const Status status = window.Initialise();
  if (!status.ok()) {
    std::fputs(status.Message().c_str(), stderr);
    return status.ExitCode();
  }
  bool ok = true;
  window.move(kMargin, kMargin);
  window.show();
  ok &= Save(Capture(&window), out_dir, "main_window.png");
  window.hide();

  SettingsDialog settings(&prompts);
  settings.SetValues(window.settings());
  settings.move(kMargin, kMargin);
  settings.show();
  ok &= Save(Capture(&settings), out_dir, "settings_dialog.png");
  auto* list_box = settings.findChild<QComboBox*>("combo1031_index_domn");
  list_box->showPopup();
  ok &= Save(Capture(&settings, 120), out_dir, "settings_dialog_list.png");
  list_box->hidePopup();
  settings.hide();

  AboutDialog about;
  about.move(kMargin, kMargin);
  about.show();
  ok &= Save(Capture(&about), out_dir, "about_dialog.png");
  about.hide();

  QMessageBox question(
      QMessageBox::Question, QString::fromUtf8(kProductName),
      QString::fromUtf8(TextOf(UserText::kExitQuestion).data()),
      QMessageBox::Yes | QMessageBox::No);
  question.setDefaultButton(QMessageBox::No);
  question.move(kMargin, kMargin);
  question.show();
  ok &= Save(Capture(&question), out_dir, "exit_question.png");
  question.hide();

  QMessageBox warning(QMessageBox::Warning, QApplication::applicationName(),
                      QString::fromUtf8(TextOf(UserText::kBusy).data()),
                      QMessageBox::Ok);
  warning.move(kMargin, kMargin);
  warning.show();
  ok &= Save(Capture(&warning), out_dir, "busy_message.png");
  warning.hide();
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace tovex

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Captions and boxes name the program as users see it.
  QApplication::setApplicationName(QStringLiteral("tovex"));
  tovex::SetUpApplication(&app);
  if (argc != 2) {
    std::fputs("usage: tovex_screenshots OUTDIR\n", stderr);
    return 2;
  }
  return tovex::Run(QString::fromLocal8Bit(argv[1]));
}
