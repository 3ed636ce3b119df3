// Fader automation of tracks 01-14: one entry per second of the song for each of the 28 faders,
// recorded from and replayed onto the faders once a second while the streaming loop runs, and
// set one at a time by step entry.
//
// An entry is 10 characters: the knob position (three digits) followed by the device value
// (pan or volume, a minus sign for negatives), left-aligned and padded with blanks; for example
// "1680      " or "121-10000 ". An entry never written is empty.
#include <optional>
#include <string_view>

#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"

namespace engine {

namespace colour = platform::ui::colour;

namespace {

constexpr size_t kEntryLen = 10, kPosLen = 3;

std::string makeEntry(int pos, int32_t value) {
  return platform::fixedLen(platform::str(pos) + platform::str(value), kEntryLen);
}

// A fader key "T01P" .. "T14P" (pan) or "T01V" .. "T14V" (volume) into its track and kind.
bool parseKey(const std::string& key, int& track, bool& pan) {
  if (key.size() != 4 || key[0] != 'T' || (key[3] != 'P' && key[3] != 'V')) return false;
  if (key[1] < '0' || key[1] > '9' || key[2] < '0' || key[2] > '9') return false;
  track = (key[1] - '0') * 10 + (key[2] - '0');
  pan = key[3] == 'P';
  return track >= 1 && track <= Engine::kAutoTracks;
}

// A whole number read from the whole of `text` (blanks around it allowed) within lo..hi, or
// nothing: a malformed part of an entry is never applied.
std::optional<int32_t> entryNumber(std::string_view text, int32_t lo, int32_t hi) {
  auto v = platform::parseNumber(text);
  if (!v || *v < lo || *v > hi) return std::nullopt;
  return static_cast<int32_t>(platform::roundHalfEven(*v));
}

}  // namespace

std::array<std::string, Engine::kAutoEntries>& Engine::autotableOf(int track, bool pan) {
  return autotab_[2 * (track - 1) + (pan ? 1 : 0)];  // "T01V", "T01P", "T02V", ...
}

std::array<std::string, Engine::kAutoEntries>* Engine::autotable(const std::string& key) {
  int track = 0;
  bool pan = false;
  return parseKey(key, track, pan) ? &autotableOf(track, pan) : nullptr;
}

// The knob of row n shows track n only while tracks 01-14 are on screen; otherwise the page
// switch has kept track n's knob position in the fader-state table.
int Engine::recordedKnobPos(int track, bool pan) const {
  const shell::MainForm& f = sys_.form;
  double pos = (pan ? f.P : f.V)[track - 1]->left();
  if (f.t0114->foreColor() != colour::kWhite && sys_.shell)
    pos = sys_.shell->layouttab[6 * (track - 1) + (pan ? 0 : 3)];
  return static_cast<int>(platform::clampRound(pos, kKnobMin, kKnobMax));
}

// The knob moves only while tracks 01-14 are on screen; the buffer takes the value whatever the
// page. Neither the Tags nor trkpan / trkvol change. An empty or malformed entry changes nothing.
void Engine::replayEntry(int track, bool pan, int32_t index) {
  if (index < 0 || index >= kAutoEntries) return;
  const std::string& entry = autotableOf(track, pan)[index];
  if (entry.size() <= kPosLen) return;
  const std::string_view e = entry;
  const auto pos = entryNumber(e.substr(0, kPosLen), kKnobMin, kKnobMax);
  const auto value = entryNumber(e.substr(kPosLen), kMinLevel, pan ? kMaxPan : 0);
  if (!pos || !value) return;

  shell::MainForm& f = sys_.form;
  if (f.t0114->foreColor() == colour::kWhite) (pan ? f.P : f.V)[track - 1]->setLeft(*pos);
  platform::SoundBuffer* buf = trkbuf[track - 1];
  if (!dsound || !buf) return;
  if (pan)
    dsound->setPan(buf, *value);
  else
    dsound->setVolume(buf, *value);
}

// The mono mix stops automation altogether, the start-of-run entry included.
void Engine::replayStartEntries(int32_t index) {
  shell::MainForm& f = sys_.form;
  if (f.monolbl->foreColor() == colour::kRed) return;
  if (index < 0 || index >= kAutoEntries) return;
  for (int n = 1; n <= kAutoTracks; ++n) {
    if (f.PL[n - 1]->caption() == "P") replayEntry(n, true, index);
    if (f.VL[n - 1]->caption() == "P") replayEntry(n, false, index);
  }
}

void Engine::autostep() {
  shell::MainForm& f = sys_.form;
  const uint32_t stepstartms = platform::timeGetTime();
  if (f.monolbl->foreColor() == colour::kRed) return;  // the index stands still, `late` too
  if (autoidx > kAutoEntries - 2) return;               // entry 500 was the last
  ++autoidx;
  if (autoidx >= 0) {
    // Every fader in "R" records before any fader in "P" replays; pan before volume.
    for (int n = 1; n <= kAutoTracks; ++n) {
      if (f.PL[n - 1]->caption() == "R")
        autotableOf(n, true)[autoidx] = makeEntry(recordedKnobPos(n, true), trkpan[n - 1]);
      if (f.VL[n - 1]->caption() == "R")
        autotableOf(n, false)[autoidx] = makeEntry(recordedKnobPos(n, false), trkvol[n - 1]);
    }
    for (int n = 1; n <= kAutoTracks; ++n) {
      if (f.PL[n - 1]->caption() == "P") replayEntry(n, true, autoidx);
      if (f.VL[n - 1]->caption() == "P") replayEntry(n, false, autoidx);
    }
  }
  const uint32_t stependms = platform::timeGetTime();
  f.late->setCaption(platform::str(static_cast<uint32_t>(stependms - stepstartms)) + "ms");
}

// Step entry: the armed PV button's second (vp3's Tag) of the clicked fader's table (vp1's Tag,
// the key) takes the knob position (vp2's Tag) and the fader's value. Every PV button is
// disarmed afterwards, whether anything was stored or not.
void Engine::autostore() {
  shell::MainForm& f = sys_.form;
  int track = 0;
  bool pan = false;
  if (parseKey(f.vp1->tag(), track, pan)) {
    const double idx = platform::val(f.vp3->tag());
    if (idx >= 0 && idx <= kAutoEntries - 1) {
      const auto pos = platform::clampRound(platform::val(f.vp2->tag()), kKnobMin, kKnobMax);
      const int16_t value = tagValue((pan ? f.P : f.V)[track - 1]->tag(), pan);
      const auto i = static_cast<size_t>(platform::roundHalfEven(idx));
      autotableOf(track, pan)[i] = makeEntry(static_cast<int>(pos), value);
    }
  }
  for (platform::ui::Label* b : {f.vp1, f.vp2, f.vp3}) b->setForeColor(colour::kBlack);
}

}  // namespace engine
