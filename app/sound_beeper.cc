#include "app/sound_beeper.h"

#include <QApplication>
#include <QMetaObject>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#ifdef TOVEX_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace tovex {
namespace {

#ifdef TOVEX_HAVE_ALSA
// 48 kHz carries the 16365 Hz tone well below its Nyquist limit.
constexpr unsigned int kSampleRate = 48000;
// Quarter of full scale: audible without startling.
constexpr double kAmplitude = 0.25 * 32767;
// Ramps at both ends keep the speaker from clicking.
constexpr int kRampMilliseconds = 5;
// Buffer latency asked of ALSA, in microseconds.
constexpr unsigned int kLatencyMicros = 100000;

// ALSA prints its complaints (no card, no server) on stderr; a missing sound
// device is expected on servers and in containers.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

std::vector<int16_t> ToneSamples(int hertz, int milliseconds) {
  const size_t count = static_cast<size_t>(kSampleRate) *
                       static_cast<size_t>(milliseconds) / 1000;
  const size_t ramp =
      static_cast<size_t>(kSampleRate) * kRampMilliseconds / 1000;
  std::vector<int16_t> samples(count);
  const double step = 2 * std::numbers::pi * hertz / kSampleRate;
  for (size_t i = 0; i < count; ++i) {
    double gain = 1.0;
    if (i < ramp) gain = static_cast<double>(i) / ramp;
    if (count - i < ramp) gain = static_cast<double>(count - i) / ramp;
    samples[i] = static_cast<int16_t>(kAmplitude * gain * std::sin(step * i));
  }
  return samples;
}
#endif

}  // namespace

SoundBeeper::SoundBeeper(std::string device) : device_(std::move(device)) {
#ifdef TOVEX_HAVE_ALSA
  snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
}

void SoundBeeper::Beep(int hertz, int milliseconds) {
  if (hertz <= 0 || milliseconds <= 0) return;
  if (PlayTone(hertz, milliseconds)) return;
  // The bell belongs to the GUI thread; the caller waits out the tone's
  // length meanwhile, as it would for a real tone.
  if (QCoreApplication::instance() != nullptr) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QApplication::beep(); },
        Qt::QueuedConnection);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool SoundBeeper::PlayTone(int hertz, int milliseconds) {
#ifdef TOVEX_HAVE_ALSA
  snd_pcm_t* pcm = nullptr;
  // Opened non-blocking so that a device held by another program fails at
  // once instead of hanging the job; writes then block as usual.
  if (snd_pcm_open(&pcm, device_.c_str(), SND_PCM_STREAM_PLAYBACK,
                   SND_PCM_NONBLOCK) < 0) {
    return false;
  }
  bool played =
      snd_pcm_nonblock(pcm, 0) >= 0 &&
      snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                         1, kSampleRate, 1, kLatencyMicros) >= 0;
  if (played) {
    const std::vector<int16_t> samples = ToneSamples(hertz, milliseconds);
    size_t done = 0;
    while (played && done < samples.size()) {
      snd_pcm_sframes_t n =
          snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
      if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
      if (n < 0) {
        played = false;
      } else {
        done += static_cast<size_t>(n);
      }
    }
    if (played) snd_pcm_drain(pcm);
  }
  snd_pcm_close(pcm);
  return played;
#else
  (void)hertz;
  (void)milliseconds;
  return false;
#endif
}

}  // namespace tovex
