#include "platform/tone.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#ifdef TOVEX_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace tovex {

#ifdef TOVEX_HAVE_ALSA
namespace {

// 48 kHz carries the 16365 Hz tone well below its Nyquist limit.
constexpr unsigned int kSampleRate = 48000;
// Quarter of full scale: audible without startling.
constexpr double kAmplitude = 0.25 * 32767;
// Ramps at both ends keep the speaker from clicking.
constexpr int kRampMilliseconds = 5;
// Buffer latency asked of ALSA, in microseconds.
constexpr unsigned int kLatencyMicros = 100000;

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

std::vector<int16_t> ToneSamples(int hertz, int milliseconds) {
  const size_t count =
      size_t{kSampleRate} * static_cast<size_t>(milliseconds) / 1000;
  const size_t ramp = size_t{kSampleRate} * kRampMilliseconds / 1000;
  std::vector<int16_t> samples(count);
  const double step = 2 * std::numbers::pi * hertz / kSampleRate;
  for (size_t i = 0; i < count; ++i) {
    double gain = 1.0;
    if (i < ramp) gain = static_cast<double>(i) / static_cast<double>(ramp);
    if (count - i < ramp) {
      gain = static_cast<double>(count - i) / static_cast<double>(ramp);
    }
    samples[i] = static_cast<int16_t>(kAmplitude * gain *
                                      std::sin(step * static_cast<double>(i)));
  }
  return samples;
}

}  // namespace

void QuietSoundErrors() { snd_lib_error_set_handler(&IgnoreAlsaError); }

bool PlayTone(const std::string& device, int hertz, int milliseconds) {
  if (hertz <= 0 || milliseconds <= 0) return false;
  snd_pcm_t* pcm = nullptr;
  // Opened non-blocking so that a device held by another program fails at
  // once instead of hanging the job; writes then block as usual.
  if (snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK,
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
}

#else

void QuietSoundErrors() {}

bool PlayTone(const std::string&, int, int) { return false; }

#endif

}  // namespace tovex
