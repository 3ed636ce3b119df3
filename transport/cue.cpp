// Cueing: the wind buttons (held: the clock winds 20 seconds a second; released: playback
// restarts at the wound time), the song-position bar (a click restarts playback at the time
// under it), the pause and continue of the song clock, and "P all" (all tracks from the
// time at the start of the 3-second view) with its "S all".
#include <cstdint>
#include <string>

#include "app/application.h"
#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace transport {

namespace colour = platform::ui::colour;

namespace {

constexpr int64_t kWindPeriodMs = 50;
constexpr int64_t kBytesPerSec = 88200;
// The bar: 480 seconds over 708 pixels; clicks count between its ends only.
constexpr double kBarFirstTwip = 33, kBarLastTwip = 10694, kBarTwips = 10695;
constexpr double kPointerMin = 10, kPointerMax = 718;

int32_t toInt(double v) {
  return static_cast<int32_t>(platform::clampRound(v, INT32_MIN, INT32_MAX));
}

}  // namespace

void Transport::wireCue() {
  shell::MainForm& f = sys_.form;
  f.ffwd->onMouseDown = [this](int b, int, double, double) { wind(true, b); };
  f.frev->onMouseDown = [this](int b, int, double, double) { wind(false, b); };
  f.ffwd->onMouseUp = [this](int, int, double, double) { windflag_ = false; };
  f.frev->onMouseUp = [this](int, int, double, double) { windflag_ = false; };
  f.anyp->onMouseDown = [this](int b, int s, double x, double y) { anyp_MouseDown(b, s, x, y); };
  f.Elapset->onClick = [this] { Elapset_Click(); };
  f.pfrom->onClick = [this] { pfrom_Click(); };
  sys_.app.registerVar("windflag", [this] { return std::string(windflag_ ? "true" : "false"); });
}

bool Transport::track01Missing() const {
  const shell::MainForm& f = sys_.form;
  return f.R[0]->foreColor() == colour::kRed && f.t0114->foreColor() == colour::kWhite;
}

void Transport::resumeClockAtPause() {
  shell::MainForm& f = sys_.form;
  if (platform::val(f.Elapset->tag()) < 1) f.Elapset->setTag("1");
  elapsecs_ = toInt(platform::val(f.Elapset->tag()) - 1);
  elapmins_ = toInt(platform::val(f.PLAY->tag()));
}

void Transport::wind(bool forward, int button) {
  shell::MainForm& f = sys_.form;
  const waveform::Waveform& w = *sys_.waveform;
  // A solo playback would be left looping by the restart; a second press while one is held
  // is ignored.
  if (recbusy_ || track01Missing() || mixplaying_ || windflag_ || w.solowav == 1 ||
      w.soloplay == 1 || finishingTake())
    return;
  elapsecs_ = lastsecs_;
  elapmins_ = lastmins_;
  sys_.engine->stopdsound();
  windflag_ = true;
  platform::ui::Label& pressed = forward ? *f.ffwd : *f.frev;
  pressed.setForeColor(colour::kRed);
  if (button == 2) elapmins_ += forward ? 1 : -1;
  do {
    if (!platform::waitUntil(platform::nowMs() + kWindPeriodMs + 1)) break;
    // The step of a period in which the button was released still counts as held.
    const bool released = !windflag_;
    windflag_ = true;
    forward ? mytimes() : mytimesrev();
    if (released) windflag_ = false;
    platform::doEvents();
  } while (windflag_ && !platform::ending());
  windflag_ = false;
  pressed.setForeColor(colour::kBlack);
  // The cue position counts the hours too.
  int64_t cue = (int64_t{elaphrs_} * 3600 + int64_t{elapmins_} * 60 + elapsecs_) * kBytesPerSec;
  if (cue < 0) cue = 0;
  f.ffwd->setTag(platform::str(cue));
  if (platform::ending()) return;
  restartAfterWind();
}

void Transport::restartAfterWind() {
  shell::MainForm& f = sys_.form;
  const std::string before = f.Umsg->caption();
  f.Umsg->setCaption(kPlayingText);
  f.PLAY->setForeColor(colour::kRed);
  f.RPSTOP->setForeColor(colour::kYellow);
  f.QUIT->setEnabled(false);
  const int32_t kept = playfrom_;
  const uint32_t sets = startPointSets_;
  playfrom_ = 0;
  sys_.waveform->disablewavdisplays();
  tpmode_ = 1;
  const bool paused = f.prind->visible();
  if (setUpEngine()) {
    // A paused run resumes at the pause point: the clock shows that point.
    if (paused) resumeClockAtPause();
    else --elapsecs_;
    sys_.engine->playloop();
  } else {
    f.Umsg->setCaption(before);
  }
  if (startPointSets_ == sets) playfrom_ = kept;
}

void Transport::anyp_MouseDown(int, int, double x, double) {
  shell::MainForm& f = sys_.form;
  if (track01Missing() || mixplaying_ || recbusy_ || x < kBarFirstTwip || x > kBarLastTwip)
    return;
  f.anyb->setLeft(static_cast<float>(x * kPointerMax / kBarTwips));
  if (f.anyb->left() < 12) f.anyb->setLeft(kPointerMin);
  if (f.anyb->left() > kPointerMax) f.anyb->setLeft(kPointerMax);
  RPSTOP_Click();
  const int32_t total = static_cast<int32_t>(
      platform::roundHalfEven(static_cast<float>(f.anyb->left() * 480 / 708)));
  int32_t mins = total / 60, secs = total - mins * 60;
  if (mins == 0 && secs < 9) secs = 1;
  if (f.prind->visible()) {
    // Paused: the sound resumes at the pause point, and the clock is to show that point.
    resumeClockAtPause();
    mins = elapmins_;
    secs = elapsecs_ + 1;
  }
  f.anyb->setTag(platform::str(secs));
  f.anyp->setTag(platform::str(mins));
  playfrom_ = mins * 60000 + secs * 1000;
  f.anyb->setFillColor(colour::kGreen);
  PLAY_Click();
}

void Transport::Elapset_Click() {
  shell::MainForm& f = sys_.form;
  if (recbusy_ || mixplaying_ || f.Elapset->caption() == "Elapsed") return;
  if (!f.prind->visible()) {
    f.Elapset->setTag(platform::str(elapsecs_));
    f.PLAY->setTag(platform::str(elapmins_));
    RPSTOP_Click();
    f.prind->setVisible(true);
    return;
  }
  resumeClockAtPause();
  PLAY_Click();
}

void Transport::pfrom_Click() {
  shell::MainForm& f = sys_.form;
  if (recbusy_) return;
  const auto restore = [this](uint32_t sets) {
    if (startPointSets_ != sets) return;  // the start point was set meanwhile: it stays
    playfrom_ = pfsave_[0];
    pinmins_ = pfsave_[1];
    pinsecs_ = pfsave_[2];
  };
  if (f.pfrom->caption() == "P all") {
    f.pfrom->setCaption("S all");
    pfsave_ = {playfrom_, pinmins_, pinsecs_};
    pfsaveSets_ = startPointSets_;
    const double viewmin = platform::val(f.Label1->caption());
    const double viewsec = platform::val(f.Label2->caption());
    playfrom_ = toInt(viewmin * 60000 + viewsec * 1000);
    pinmins_ = toInt(viewmin);
    pinsecs_ = toInt(viewsec);
    setClock(pinhrs_, pinmins_, pinsecs_ - 1);
    f.timeptr->setWidth(3);
    sys_.waveform->soloptr = 3;
    PLAY_Click();
    restore(pfsaveSets_);
  } else if (f.pfrom->caption() == "S all") {
    f.pfrom->setCaption("P all");
    restore(pfsaveSets_);
    RPSTOP_Click();
  }
}

}  // namespace transport
