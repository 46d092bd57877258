// The beep at the end of a job: a real tone through ALSA's sound output when
// there is one; otherwise the desktop's bell, then waiting out the duration
// so that the job's timing is the same either way. A missing or busy sound
// device is never an error.

#ifndef TOVEX_APP_SOUND_BEEPER_H_
#define TOVEX_APP_SOUND_BEEPER_H_

#include <string>

#include "platform/platform.h"

namespace tovex {

class SoundBeeper : public Beeper {
 public:
  // `device` is an ALSA PCM name. Construct on the GUI thread; Beep may be
  // called from any thread.
  explicit SoundBeeper(std::string device = "default");

  void Beep(int hertz, int milliseconds) override;

 private:
  std::string device_;
};

}  // namespace tovex

#endif  // TOVEX_APP_SOUND_BEEPER_H_
