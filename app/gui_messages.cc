#include "app/gui_messages.h"

#include <QMetaObject>
#include <QThread>

namespace tovex {

template <typename Fn>
void GuiMessages::OnGuiThread(Fn show) {
  if (QThread::currentThread() == thread()) {
    show();
  } else {
    QMetaObject::invokeMethod(this, show, Qt::BlockingQueuedConnection);
  }
}

void GuiMessages::Warn(const std::string& text) {
  const QString message = QString::fromStdString(text);
  OnGuiThread([this, &message] { prompts_->Warn(owner_.data(), message); });
}

bool GuiMessages::AskYesNo(const std::string& text,
                           const std::string& caption) {
  const QString message = QString::fromStdString(text);
  const QString title = QString::fromStdString(caption);
  bool yes = false;
  OnGuiThread([this, &message, &title, &yes] {
    yes = prompts_->AskYesNo(owner_.data(), message, title);
  });
  return yes;
}

}  // namespace tovex
