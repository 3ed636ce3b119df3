// Keyboard control of the transport: the keypad's plus key toggles PLAY and STOP, F1..F12
// announce a recording, wait 12 seconds and press the record buttons of rows 01..12.
#include "platform/clock.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "transport/transport.h"

namespace transport {

namespace colour = platform::ui::colour;

namespace {
constexpr int kKeypadPlus = 107, kF1 = 112, kF12 = 123;
constexpr int64_t kGetReadyMs = 12000;
constexpr const char* kGetReady = " Track record will start in a few seconds. Get comfortable !";
}  // namespace

void Transport::wireKeys() {
  sys_.form.onKeyDown = [this](int key, int shift) { Form_KeyDown(key, shift); };
}

void Transport::Form_KeyDown(int keyCode, int) {
  shell::MainForm& f = sys_.form;
  if (recbusy_ || f.t1528->foreColor() == colour::kWhite) return;
  if (keyCode == kKeypadPlus) {
    if (kbplay_ == 1) {
      RPSTOP_Click();
      kbplay_ = 0;
    } else {
      PLAY_Click();
      kbplay_ = 1;
    }
    return;
  }
  if (keyCode < kF1 || keyCode > kF12) return;
  // Something already runs: a recording cannot start over it.
  if (f.PLAY->foreColor() == colour::kRed) return;
  f.Umsg->setCaption(kGetReady);
  // Monotonic: no wrap, no midnight; the wait sleeps between the events it lets run.
  if (!platform::waitUntil(platform::nowMs() + kGetReadyMs)) return;  // the program ends
  kbplay_ = 1;
  R_Click(keyCode - kF1 + 1);
}

}  // namespace transport
