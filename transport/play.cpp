// The transport's wiring and state, and PLAY: real-time playback of every recorded track from
// the start point through the engine's start sequence.
#include <algorithm>
#include <limits>

#include "app/application.h"
#include "engine/engine.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace transport {

namespace colour = platform::ui::colour;

namespace {

constexpr const char* kPlaying = Transport::kPlayingText;
constexpr const char* kRecordT01First = " Please record T01 first - by clicking R01. Ready.";

std::string boolText(bool b) { return b ? "true" : "false"; }

}  // namespace

void Transport::wire() {
  shell::MainForm& f = sys_.form;
  f.PLAY->onClick = [this] { PLAY_Click(); };
  f.RPSTOP->onClick = [this] { RPSTOP_Click(); };
  for (int row = 1; row <= shell::MainForm::kRows; ++row)
    f.R[row - 1]->onClick = [this, row] { R_Click(row); };
  f.Timer1->onTimer = [this] { Timer1_Timer(); };
  f.MIX->onClick = [this] { MIX_Click(); };
  f.Mutemix->onClick = [this] { Mutemix_Click(); };
  f.Split->onClick = [this] { Split_Click(); };
  f.ST01->onClick = [this] { ST01_Click(); };
  f.STSP->onClick = [this] { STSP_Click(); };
  f.DST->onClick = [this] { DST_Click(); };
  f.DF1->onClick = [this] { DF1_Click(); };
  wirePunchIn();
  wireCue();
  wireKeys();
  registerVars();
}

// The shell's start-up registers elapsecs, kbplay, pinmins and pinsecs.
void Transport::registerVars() {
  app::Application& a = sys_.app;
  using platform::str;
  a.registerVar("playfrom", [this] { return str(playfrom_); });
  a.registerVar("pinhrs", [this] { return str(pinhrs_); });
  a.registerVar("recbusy", [this] { return boolText(recbusy_); });
  a.registerVar("mixplaying", [this] { return boolText(mixplaying_); });
  a.registerVar("mixing", [this] { return boolText(mixing_); });
  a.registerVar("tpmode", [this] { return str(tpmode_); });
  a.registerVar("armedtrk", [this] { return str(armedtrk_); });
  a.registerVar("elapmins", [this] { return str(elapmins_); });
  a.registerVar("elaphrs", [this] { return str(elaphrs_); });
  a.registerVar("lastsecs", [this] { return str(lastsecs_); });
  a.registerVar("lastmins", [this] { return str(lastmins_); });
  // "" when no take is remembered, else "TRACK mono|stereo SECOND PATH".
  a.registerVar("take", [this] {
    if (!take.active) return std::string();
    return str(take.armedtrk) + (take.stereo ? " stereo " : " mono ") + str(take.startSecond) +
           " " + platform::rtrim(take.file);
  });
}

void Transport::setStartPoint(int32_t hrs, int32_t mins, int32_t secs) {
  pinhrs_ = hrs;
  pinmins_ = mins;
  pinsecs_ = secs;
  const int64_t ms = int64_t{hrs} * 3'600'000 + int64_t{mins} * 60'000 + int64_t{secs} * 1000;
  playfrom_ = static_cast<int32_t>(std::clamp<int64_t>(ms, std::numeric_limits<int32_t>::min(),
                                                       std::numeric_limits<int32_t>::max()));
}

// While STOP finishes a take its waits yield to the event loop with the window's input
// blocked; a start asked for meanwhile (from code, or under blocked input) is refused.
bool Transport::finishingTake() const { return finishing_ || platform::ui::inputBlocked(); }

void Transport::PLAY_Click() {
  shell::MainForm& f = sys_.form;
  if (f.PLAY->foreColor() == colour::kRed || finishingTake()) return;
  f.late->setCaption("");
  if (sys_.waveform->solowav == 1 || mixplaying_) return;
  // With tracks 15-28 on screen track 01 exists: that page is shown only then.
  if (f.t1528->foreColor() == colour::kBlack && f.R[0]->foreColor() == colour::kRed) {
    f.Umsg->setCaption(kRecordT01First);
    return;
  }
  // A paused playback resumes at the pause point, and the clock shows that point.
  if (f.prind->visible()) resumeClockAtPause();
  else clockToStartPoint();
  kbplay_ = 1;
  const std::string before = f.Umsg->caption();
  f.Umsg->setCaption(kPlaying);
  f.PLAY->setForeColor(colour::kRed);
  f.RPSTOP->setForeColor(colour::kYellow);
  f.QUIT->setEnabled(false);
  sys_.waveform->disablewavdisplays();
  tpmode_ = 1;

  // A start the engine abandons has put the transport back to stopped and said why in a box.
  if (!setUpEngine()) {
    f.Umsg->setCaption(before);
    return;
  }
  sys_.engine->playloop();
}

bool Transport::setUpEngine() {
  engine::Engine& e = *sys_.engine;
  e.dsoundinit();
  e.getmixvals();
  e.chktrkfiles();
  e.opentracks(sys_.shell->trkvals, playfrom_);
  e.preloadtracks();
  return !e.startFailed;
}

void Transport::soundSystemStopped() {
  shell::MainForm& f = sys_.form;
  // A take already being finished by STOP completes on its own; anything else running stops.
  if (!finishing_ && f.RPSTOP->foreColor() != colour::kRed) RPSTOP_Click();
  platform::ui::msgBox(kSoundStoppedText, platform::ui::kOkOnly, kSoundStoppedTitle);
}

bool Transport::endIfSoundLost() {
  if (sys_.form.PLAY->foreColor() != colour::kRed || !platform::soundSystemLost()) return false;
  soundSystemStopped();
  return true;
}

}  // namespace transport
