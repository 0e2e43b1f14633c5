#include "frontends/sdl_audio.h"

#include <dlfcn.h>

#include <vector>

#include "core/log.h"

namespace sim {

namespace {

static_assert(sizeof(AudioFrame) == 4, "an AudioFrame is what SDL's AUDIO_S16SYS stereo holds");

// ALSA prints its own reasons on stderr (eight lines of "ALSA lib conf.c:..."
// on a host without a sound card) before SDL gives up; board-sim's one line
// says the same. libasound is found at run time, so this needs no build
// dependency: SDL loads the same library and keeps the handler set here.
void silent_alsa_error(const char*, int, const char*, int, const char*, ...) {}

void quiet_alsa() {
  if (log_verbose()) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  void* set = dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler");
  if (!set) {
    if (void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL)) set = dlsym(lib, "snd_lib_error_set_handler");
  }
  if (set) reinterpret_cast<SetHandler>(set)(silent_alsa_error);
}

SDL_AudioDeviceID open_device(bool capture, unsigned rate, std::string* error) {
  if (!(SDL_WasInit(SDL_INIT_AUDIO) & SDL_INIT_AUDIO)) quiet_alsa();
  if (!(SDL_WasInit(SDL_INIT_AUDIO) & SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *error = SDL_GetError();
    return 0;
  }
  SDL_AudioSpec want{};
  want.freq = static_cast<int>(rate);
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 512;  // small device buffers keep the latency down
  SDL_AudioSpec have{};
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, capture ? 1 : 0, &want, &have, 0);
  if (device == 0) {
    *error = SDL_GetError();
    if (error->empty()) *error = capture ? "no recording device" : "no output device";
    return 0;
  }
  SDL_PauseAudioDevice(device, 0);
  return device;
}

}  // namespace

SdlAudioOutput::~SdlAudioOutput() { close(); }

void SdlAudioOutput::close() {
  if (device_) SDL_CloseAudioDevice(device_);
  device_ = 0;
}

bool SdlAudioOutput::open(unsigned rate, std::string* error) {
  device_ = open_device(false, rate, error);
  rate_ = device_ ? rate : 0;
  return device_ != 0;
}

void SdlAudioOutput::queue(const AudioFrame* frames, size_t count) {
  if (device_ && count) SDL_QueueAudio(device_, frames, static_cast<Uint32>(count * sizeof(AudioFrame)));
}

size_t SdlAudioOutput::queued() const { return device_ ? SDL_GetQueuedAudioSize(device_) / sizeof(AudioFrame) : 0; }

SdlAudioInput::~SdlAudioInput() { close(); }

void SdlAudioInput::close() {
  if (device_) SDL_CloseAudioDevice(device_);
  device_ = 0;
}

bool SdlAudioInput::open(unsigned rate, std::string* error) {
  device_ = open_device(true, rate, error);
  rate_ = device_ ? rate : 0;
  return device_ != 0;
}

size_t SdlAudioInput::take(AudioFrame* frames, size_t count) {
  if (!device_ || !count) return 0;
  return SDL_DequeueAudio(device_, frames, static_cast<Uint32>(count * sizeof(AudioFrame))) / sizeof(AudioFrame);
}

size_t SdlAudioInput::available() const {
  return device_ ? SDL_GetQueuedAudioSize(device_) / sizeof(AudioFrame) : 0;
}

void SdlAudioInput::discard(size_t count) {
  std::vector<AudioFrame> scrap(count);
  take(scrap.data(), count);
}

}  // namespace sim
