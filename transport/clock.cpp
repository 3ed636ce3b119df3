// The song clock: a counter of whole seconds shown in Elapset as "h:m:s". The streaming loop
// steps it once a second, the window timer while track 01 records alone, the wind buttons
// every 50 ms while held. Every forward step during a recording blinks the "Rec" indicator.
#include <limits>

#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "transport/transport.h"

namespace transport {

namespace colour = platform::ui::colour;

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// One up or down, stopping at the ends of the type (the counters are never carried there).
void up(int32_t& v) { if (v < kMax) ++v; }
void down(int32_t& v) { if (v > kMin) --v; }

}  // namespace

std::string Transport::clockText(int32_t hrs, int32_t mins, int32_t secs) {
  return platform::str(hrs) + ":" + platform::str(mins) + ":" + platform::str(secs);
}

void Transport::showClock() { sys_.form.Elapset->setCaption(clockText(elaphrs_, elapmins_, elapsecs_)); }

void Transport::clockToStartPoint() {
  elapsecs_ = pinsecs_;
  down(elapsecs_);
  elapmins_ = pinmins_;
  elaphrs_ = pinhrs_;
}

void Transport::mytimes() {
  shell::MainForm& f = sys_.form;
  if (windflag_) {
    f.Timer1->setEnabled(false);  // a held wind steps the clock itself
  } else if (f.PLAY->foreColor() == colour::kYellow) {
    f.Timer1->setEnabled(false);  // stopped: a late tick changes nothing
    return;
  } else if (f.anyb->fillColor() == colour::kGreen) {
    // A time picked on the song-position bar and not yet taken.
    f.anyb->setFillColor(colour::kRed);
    elapsecs_ = static_cast<int32_t>(platform::clampRound(platform::val(f.anyb->tag()) - 1, kMin, kMax));
    elapmins_ = static_cast<int32_t>(platform::clampRound(platform::val(f.anyp->tag()), kMin, kMax));
    playfrom_ = 0;
  }

  // Carried only on reaching exactly 60; a counter already beyond it counts on.
  up(elapsecs_);
  if (elapsecs_ == 60) {
    elapsecs_ = 0;
    up(elapmins_);
  }
  if (elapsecs_ < 60) showClock();
  if (elapmins_ == 60) {
    elapmins_ = 0;
    up(elaphrs_);
  }
  if (elapmins_ < 60) showClock();
  lastsecs_ = elapsecs_;
  lastmins_ = elapmins_;

  if (recbusy_) {
    f.recd->setVisible(!f.recd->visible());
    showRecorderFault();
  }
}

void Transport::mytimesrev() {
  shell::MainForm& f = sys_.form;
  if (windflag_) {
    f.Timer1->setEnabled(false);
  } else if (f.PLAY->foreColor() == colour::kYellow) {
    f.Timer1->setEnabled(false);
    return;
  }
  if (elapsecs_ < 2 && elapmins_ == 0 && elaphrs_ == 0) {  // the song's start
    elapsecs_ = 0;
    showClock();
    return;
  }
  // m:2, m:1, then (m-1):59; the minutes stop at 0 and the hours never go back.
  down(elapsecs_);
  if (elapsecs_ < 1) {
    elapsecs_ = 0;
    down(elapmins_);
    showClock();
    elapsecs_ = 59;
  } else if (elapsecs_ <= 59) {
    showClock();
  }
  if (elapmins_ < 1) {
    elapmins_ = 0;
    showClock();
  } else if (elapmins_ <= 59) {
    showClock();
  }
}

}  // namespace transport
