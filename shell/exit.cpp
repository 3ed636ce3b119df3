// Exit: the QUIT button and the main window's close box. Both ask before leaving, close every
// device, offer to save the track settings and end the program. The close box first stops
// whatever runs (a recording is finished into its file); QUIT ends only a waveform solo (the
// one thing it is enabled during), so a recording that runs is dropped with the devices.
//
// A termination signal (logout, shutdown, Ctrl-C) ends the program without asking: a recording
// is saved first, nothing else is written.
//
// The program ends through the application's ending flag: every loop still running below the
// handler returns, and the windows are deleted by main() once no handler is on the stack.
#include <string_view>

#include "app/application.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/signals.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace shell {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;

namespace {

constexpr std::string_view kQuitTitle = "QUIT.";
constexpr std::string_view kQuitText =
    "Click Ok to leave or Cancel to stay; - all (undeleted) recorded audio saved in Mysong "
    "folder - Please use explorer to delete unwanted audio.";
constexpr std::string_view kCloseTitle = "QUIT ";
constexpr std::string_view kCloseText =
    " Please click Ok to leave or Cancel to stay; - all recorded audio saved in Mysong folder - "
    "use explorer to delete unwanted audio.";
constexpr std::string_view kSaveTitle = "QUIT ";
constexpr std::string_view kSaveText =
    " Do you want pans, volumes, and track names saved in vsets file ?";
constexpr std::string_view kStaying = " Staying to make more Hit songs ! - Ready.";

}  // namespace

void Shell::wireExit() {
  form_.QUIT->onClick = [this] { QUIT_Click(); };
  // Replaces the application's default: a close that is not cancelled still ends the program,
  // now after the questions.
  form_.onUnload = [this](int& cancel) { Form_Unload(cancel); };
  platform::setTerminationHandler([this](int) { terminate(); });
}

Shell::~Shell() { platform::setTerminationHandler(nullptr); }

void Shell::terminate() {
  if (terminating_) return;
  terminating_ = true;
  exiting_ = true;  // no exit question starts now
  transport::Transport& tp = *sys_.transport;
  // A finish under way completes by itself once this returns (the ending flag only cuts its
  // waits short); its device must stay open until then.
  if (!tp.finishing()) {
    tp.finishTakeBeforeExit(true);
    platform::mciExecuteQuiet("close all");
  }
  sys_.app.setFinished();
  ui::dismissBoxes();  // a question left open answers with its escape button
}

void Shell::leave() {
  // A recording still running is saved into its track before the devices close (QUIT is
  // disabled while one runs, so this is only a safety net).
  sys_.transport->finishTakeBeforeExit();
  platform::mciExecute("close all");
  if (ui::msgBox(kSaveText, ui::kOkCancel, kSaveTitle) == ui::kOk) wmixrec();
  sys_.app.setFinished();
}

void Shell::QUIT_Click() {
  if (exiting_) return;
  exiting_ = true;
  // QUIT stays enabled during a waveform solo: the solo ends first, as STOP ends it.
  if (sys_.waveform->solowav == 1) sys_.transport->RPSTOP_Click();
  form_.QUIT->setForeColor(colour::kRed);
  if (ui::msgBox(kQuitText, ui::kOkCancel, kQuitTitle) != ui::kOk) {
    form_.QUIT->setForeColor(colour::kBlack);
    exiting_ = false;
    return;
  }
  leave();  // exiting_ stays set: the program is ending
}

void Shell::Form_Unload(int& cancel) {
  if (exiting_) {
    cancel = 1;  // an exit is already being handled: this request keeps the window
    return;
  }
  exiting_ = true;
  sys_.transport->RPSTOP_Click();
  if (ui::msgBox(kCloseText, ui::kOkCancel, kCloseTitle) != ui::kOk) {
    cancel = ui::kCancel;
    form_.Umsg->setCaption(kStaying);
    exiting_ = false;
    return;
  }
  leave();
  cancel = 0;  // the window unloads
}

}  // namespace shell
