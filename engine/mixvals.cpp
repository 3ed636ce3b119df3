// Mixer values: the engine's copies of the 28 pans and volumes, taken from the Tags where the
// faders keep them, and given to the sound buffers of the page on screen.
#include "engine/engine.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"

namespace engine {

namespace colour = platform::ui::colour;

int16_t Engine::tagValue(const std::string& text, bool pan) {
  // Whatever a Tag holds, the result is a value the sound device takes.
  const int64_t hi = pan ? kMaxPan : 0;
  return static_cast<int16_t>(platform::clampRound(platform::val(text), kMinLevel, hi));
}

// Tracks 01-14 keep their values in the knobs' Tags, tracks 15-28 in the Tags of the selection
// shapes (pan) and of the waveform panels (volume), whatever page is on screen.
void Engine::getmixvals() {
  shell::MainForm& f = sys_.form;
  const bool mono = f.monolbl->foreColor() == colour::kRed;
  for (int k = 0; k < kAutoTracks; ++k) {
    trkpan[k] = mono ? 0 : tagValue(f.P[k]->tag(), true);
    trkpan[kAutoTracks + k] = mono ? 0 : tagValue(f.selrect[k]->tag(), true);
    trkvol[k] = tagValue(f.V[k]->tag(), false);
    trkvol[kAutoTracks + k] = tagValue(f.wd[k]->tag(), false);
  }
}

// Only the recorded tracks (blue record button) of the page on screen; a track without a
// buffer, or a value the device refuses, is passed over.
void Engine::setpanvol() {
  shell::MainForm& f = sys_.form;
  if (!dsound) return;
  const int base = f.t1528->foreColor() == colour::kWhite ? kAutoTracks : 0;
  for (int k = 0; k < kAutoTracks; ++k) {
    if (f.R[k]->foreColor() != colour::kBlue) continue;
    const int i = base + k;
    if (!trkbuf[i]) continue;
    dsound->setPan(trkbuf[i], trkpan[i]);
    dsound->setVolume(trkbuf[i], trkvol[i]);
  }
}

}  // namespace engine
