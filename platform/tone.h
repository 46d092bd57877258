// A real tone through ALSA's sound output, for the desktop window's beep.
// Built only with the window (it needs ALSA, which tovex-cli does not).

#ifndef TOVEX_PLATFORM_TONE_H_
#define TOVEX_PLATFORM_TONE_H_

#include <string>

namespace tovex {

// Keeps ALSA's own complaints (no card, no server) off stderr: a missing
// sound device is expected on servers and in containers. Call once, early.
void QuietSoundErrors();

// Plays a sine tone of `hertz` for `milliseconds` on the ALSA PCM `device`
// and returns when it has played. False when no tone could be played: no
// device, a device held by another program, or a build without ALSA.
bool PlayTone(const std::string& device, int hertz, int milliseconds);

}  // namespace tovex

#endif  // TOVEX_PLATFORM_TONE_H_
