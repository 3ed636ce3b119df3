// The start position of a run and the opening of the track files at it.
//
// The start second comes from, in this order: a paused run being continued (the pause
// indicator prind is shown; minutes in PLAY's Tag, seconds in Elapset's), the cue offset that
// fast wind left in ffwd's Tag (bytes of sample data, 88,200 a second) plus playfrom, or
// playfrom alone. Sample k of a track lies at byte offset 44 + 2k of its file.
#include <algorithm>

#include "engine/engine.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"

namespace engine {

namespace {

constexpr int64_t kHeaderBytes = 44;
// Start seconds read from texts are kept within what a 32-bit millisecond count can hold.
constexpr int64_t kMaxSecond = 2'000'000;
constexpr int64_t kMaxOffset = kMaxSecond * Engine::kBytesPerSec;

int64_t seconds(double x) { return platform::clampRound(x, -kMaxSecond, kMaxSecond); }

}  // namespace

void Engine::opentracks(std::array<int16_t, 14>& trkvals, int32_t playfrom) {
  if (startFailed) return;
  platform::closeAll();
  std::fill(trkvals.begin() + 1, trkvals.end(), int16_t{0});  // tracks 02..14
  if (!dsound) {
    abandonStart("no sound output device could be opened");
    return;
  }

  shell::MainForm& f = sys_.form;
  const bool pauseon = f.prind->visible();
  int64_t index = autoidx;  // a plain run keeps the 0 that the last stop left
  int64_t dataOffset = 0;   // bytes into the sample data
  int64_t pauseMs = 0;
  if (pauseon) {
    const int64_t secs = seconds(platform::val(f.Elapset->tag()));
    const int64_t p = std::max<int64_t>(0, seconds(platform::val(f.PLAY->tag()) * 60.0 + double(secs)));
    index = p;
    pauseMs = std::max<int64_t>(p * 1000, 1000);  // a pause at 0:00 continues at second 1
    dataOffset = pauseMs / 1000 * kBytesPerSec;
  } else {
    const double from = playfrom / 1000.0;
    const double w = platform::val(f.ffwd->tag());
    if (f.pfrom->caption() == "S all") index = seconds(from);
    if (w > 0) index = seconds(w / kBytesPerSec) + seconds(from);
    index = std::max<int64_t>(index, 0);
    dataOffset = platform::clampRound(from * kBytesPerSec, -kMaxOffset, kMaxOffset) +
                 platform::clampRound(w, -kMaxOffset, kMaxOffset);
    // Never before the first sample, and always on a sample boundary.
    dataOffset = std::max<int64_t>(dataOffset, 0) & ~int64_t{1};
  }

  for (int n = 1; n <= kTracks; ++n) {
    if (trkfile[n - 1] == kNoFile) continue;
    // Only the sound plays: a tag chunk after it is silence, as the end of the file.
    if (!platform::fileOpen(n, trkfile[n - 1], platform::OpenMode::Read) ||
        !platform::endAtSound(n) || !platform::seek(n, kHeaderBytes + dataOffset + 1)) {
      const std::string path = platform::rtrim(trkfile[n - 1]);
      abandonStart("the track file " + path.substr(path.find_last_of('\\') + 1) +
                       " could not be read",
                   true);
      return;
    }
  }
  // Only a start that goes on consumes the pause.
  if (pauseon) {
    f.prind->setVisible(false);
    startms = static_cast<int32_t>(pauseMs);
  }
  autoidx = static_cast<int32_t>(index);
}

}  // namespace engine
