#include "app/sound_beeper.h"

#include <QApplication>
#include <QMetaObject>
#include <chrono>
#include <thread>

#include "platform/tone.h"

namespace tovex {

SoundBeeper::SoundBeeper(std::string device) : device_(std::move(device)) {
  QuietSoundErrors();
}

void SoundBeeper::Beep(int hertz, int milliseconds) {
  if (hertz <= 0 || milliseconds <= 0) return;
  if (PlayTone(device_, hertz, milliseconds)) return;
  // The bell belongs to the GUI thread; the caller waits out the tone's
  // length meanwhile, as it would for a real tone.
  if (QCoreApplication::instance() != nullptr) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QApplication::beep(); },
        Qt::QueuedConnection);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace tovex
