// The record buttons R01 .. R14 and the start of a recording.
//
// Track 01 is recorded alone: the device records and the window timer runs the song clock.
// Every other track records while every recorded track plays through the engine from the
// start point. A recording never replaces a file: the track must be deleted first. The device
// records from the moment of the click, whatever the start point; the take remembers at which
// song second the tracks it was played against began, and STOP puts that much silence in
// front of it.
#include <algorithm>
#include <limits>
#include <string>

#include "engine/engine.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace transport {

namespace colour = platform::ui::colour;
namespace ui = platform::ui;

namespace {

constexpr int kRows = shell::MainForm::kRows;
constexpr int kTracks = shell::Shell::kTracks;

using platform::twoDigits;

}  // namespace

void Transport::R_Click(int row) {
  if (row < 1 || row > kRows || mixplaying_) return;
  if (sys_.shell->page1528()) {
    R1528_Click(row + kRows);
    return;
  }
  recordTrack(row, row != 1);
}

void Transport::recordTrack(int n, bool fromFirstPage) {
  if (n < 1 || n > kTracks) return;
  shell::MainForm& f = sys_.form;
  if (f.PLAY->foreColor() == colour::kRed || finishingTake()) return;
  if (fromFirstPage && f.R[0]->foreColor() == colour::kRed) {
    f.PLAY->setForeColor(colour::kYellow);
    f.RPSTOP->setForeColor(colour::kRed);
    f.QUIT->setEnabled(true);
    ui::msgBox(" Please record T01 first.", ui::kOkOnly, "   ");
    return;
  }
  ui::Label* button = f.R[(n - 1) % kRows];
  const std::string nn = twoDigits(n);
  const std::string file = sys_.shell->tkfname[n - 1];
  // Present when the file system gives it a date, whatever its length.
  if (platform::fileDateTime(file)) {
    button->setForeColor(colour::kBlue);
    f.Umsg->setCaption("TRACK " + nn + " already recorded on. Please delete first. Ready.");
    return;
  }

  const std::string before = f.Umsg->caption();
  const int16_t hidden = sys_.waveform->tkwavhide[n - 1], armed = armedtrk_;
  f.Umsg->setCaption("      RECORDING TRACK " + nn + " - Click STOP to stop.   Click F" + nn +
                     " button to display waveform for editing.");
  f.HLPDOC->setEnabled(false);
  f.QUIT->setEnabled(false);
  armedtrk_ = static_cast<int16_t>(n);
  sys_.waveform->tkwavhide[n - 1] = 1;
  tpmode_ = 2;
  f.PLAY->setForeColor(colour::kRed);
  f.RPSTOP->setForeColor(colour::kYellow);
  recbusy_ = true;

  engine::Engine& e = *sys_.engine;
  const bool alone = n == 1;  // track 01 records with no playback
  e.dsoundinit();
  e.getmixvals();
  e.chktrkfiles();
  int32_t startSecond = playfrom_ / 1000;
  if (!alone) {
    // The track being recorded has no file yet, so the engine leaves it out.
    const bool pauseon = f.prind->visible();
    const double cueBytes = platform::val(f.ffwd->tag());  // preloadtracks clears it
    e.opentracks(sys_.shell->trkvals, playfrom_);
    startSecond = positionedSecond(pauseon && !f.prind->visible(), cueBytes);
    e.preloadtracks();
  }
  // An abandoned start has put the transport back to stopped and said why in a box: nothing
  // records, so the rest goes back as it was.
  if (e.startFailed) {
    f.Umsg->setCaption(before);
    sys_.waveform->tkwavhide[n - 1] = hidden;
    armedtrk_ = armed;
    return;
  }
  button->setForeColor(colour::kBlue);
  e.mcirecopen();
  e.mcirecstart();
  take = Take{true, file, armedtrk_, false, startSecond};
  if (alone) {
    f.Timer1->setEnabled(true);
    return;
  }
  e.playloop();
}

// The engine starts a continued pause at its own start time (at least second 1), else at the
// start point plus the cue offset that a wind left (bytes of sample data), never before 0.
int32_t Transport::positionedSecond(bool resumed, double cueBytes) const {
  const engine::Engine& e = *sys_.engine;
  if (resumed) return e.startms / 1000;
  constexpr int64_t kMaxSecond = std::numeric_limits<int32_t>::max() / 2;
  const int64_t cue = platform::clampRound(cueBytes, -kMaxSecond * engine::Engine::kBytesPerSec,
                                           kMaxSecond * engine::Engine::kBytesPerSec);
  const int64_t bytes = int64_t{playfrom_ / 1000} * engine::Engine::kBytesPerSec + cue;
  return static_cast<int32_t>(std::max<int64_t>(0, bytes) / engine::Engine::kBytesPerSec);
}

}  // namespace transport
