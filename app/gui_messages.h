// The Messages service of the desktop window: message boxes through Prompts,
// callable from the job's thread as well as from the GUI thread.
//
// A call from another thread is carried over to the GUI thread and waits
// there until the user has answered, so the job sees the same blocking
// behaviour as on the GUI thread. The GUI thread must keep processing events
// (it does: every handler returns at once or runs a modal loop); a call made
// after the event loop has ended would never return, which is why
// MainWindow::StopJobAndWait keeps the events flowing while it waits for a
// running job.

#ifndef TOVEX_APP_GUI_MESSAGES_H_
#define TOVEX_APP_GUI_MESSAGES_H_

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <string>

#include "app/prompts.h"
#include "platform/platform.h"

namespace tovex {

class GuiMessages : public QObject, public Messages {
  Q_OBJECT

 public:
  // Construct on the GUI thread. `prompts` is not owned and must outlive
  // this object.
  explicit GuiMessages(Prompts* prompts, QObject* parent = nullptr)
      : QObject(parent), prompts_(prompts) {}

  // The window the boxes are shown over; may be unset or already gone.
  void SetOwnerWindow(QWidget* window) { owner_ = window; }

  void Warn(const std::string& text) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;

 private:
  // Runs `show` on the GUI thread and returns when it has run.
  template <typename Fn>
  void OnGuiThread(Fn show);

  Prompts* prompts_;
  QPointer<QWidget> owner_;
};

}  // namespace tovex

#endif  // TOVEX_APP_GUI_MESSAGES_H_
