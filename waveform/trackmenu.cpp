// The track menu of the function buttons F01..F14: the two solo playbacks with the progress
// bar, delete, hide/show, centre pan, mute, and the companion window `Trackmod` that carries the
// menu and the track-shift box.
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "app/application.h"
#include "mixer/mixer.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace waveform {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;
using platform::str;

namespace {

constexpr const char* kTrackmod = "Trackmod";
constexpr int kHeader = 44;
constexpr double kKnobCentre = 168, kVolSilent = 121;
// The largest insertion that keeps a track file under 2^31 bytes.
constexpr int64_t kMaxFileBytes = (int64_t{1} << 31) - 1;
constexpr size_t kBlock = 65536;  // samples written per step of an insertion

struct MenuItem { const char* name; const char* caption; void (Waveform::*run)(); };
const MenuItem kMenu[] = {
    {"mfsolt", "1. Solo track.", &Waveform::mfsoltrk},
    {"mfsolw", "2. Solo waveform.", &Waveform::mfsolwav},
    {"mfdelt", "3. Delete track.", &Waveform::mfdeltrk},
    {"mfhidt", "4. Hide / show track waveform.", &Waveform::mfhidwav},
    {"mfsft", "5. Shift track (not T01).", &Waveform::mfsftrk},
    {"mfcpn", "6. Centre pan.", &Waveform::mfcpan},
    {"mfmvol", "7. Mute track.", &Waveform::mfmtvol},
};

struct BoxSpec { const char* name; bool text; double l, t, w, h; const char* caption; const char* tip; };
const BoxSpec kShiftBox[] = {
    {"samstoinsert", true, 120, 120, 540, 285, "", "Enter no of samples of silence eg : 100"},
    {"inslabel", false, 720, 120, 3495, 255, "<--Enter no of silent samples to insert & click me.", ""},
    {"samstodel", true, 120, 600, 540, 285, "", "Enter no of samples to delete eg : 200"},
    {"dellabel", false, 720, 600, 3495, 255, "<--Enter no of samples to delete         & click me.", ""},
    {"usernote", false, 120, 1080, 4095, 735,
     "NOTE : Use top box if the track you just recorded is in front of the beat - or bottom box if "
     "the track is behind the beat. (see section 10 of Trouble on perfect synch.)", ""},
};

std::string trackId(int t) { return (t < 10 ? "T0" : "T") + str(t); }

// The track number of an id "T01".."T28", 0 for anything else.
int trackOf(const std::string& id) {
  for (int t = 1; t <= Waveform::kTracks; ++t)
    if (id == trackId(t)) return t;
  return 0;
}


// Sends a solo's play command. When the track cannot be played (a file shorter than its
// header, say) one box says so and the solo does not start.
bool playSolo(const std::string& command, int track) {
  if (platform::mciExecuteQuiet(command)) return true;
  ui::msgBox(" Track " + platform::twoDigits(track) + " could not be played. Please Re-try.");
  return false;
}

// The scratch file of the shift, taken again from the current drive as the editor does.
std::string shiftScratch(shell::Shell& sh) {
  sh.drvletter = platform::fixedLen(platform::curDir(), 1);
  sh.tempfname = sh.drvletter + ":\\Vemracd\\Mysong\\temp";
  return sh.tempfname;
}

// The shift box's track may be rewritten: the track file and the scratch name are usable and
// the track is a plain track; otherwise a box says why and nothing changes.
bool shiftReady(Waveform& w, const std::string& path, const std::string& temp) {
  if (platform::fileLen(path) < 0 || platform::dirExists(temp)) {
    ui::msgBox(kFileFailed);
    return false;
  }
  return w.trackFormatOk(path);
}

// Writes `temp` as the track `path` with `count` - 1 silent samples in front and one behind,
// its header's sizes set to the new length; written in blocks. False on any failure.
bool writeShifted(const std::string& path, const std::string& temp, int32_t count) {
  const int64_t oldLen = platform::fileLen(path);
  const int64_t oldData = oldLen - kHeader;
  const int in = platform::freeFile();
  if (!platform::fileOpen(in, path, platform::OpenMode::Read)) return false;
  const int out = platform::freeFile();
  // A fresh file, held while written: no start-up takes it for a leftover.
  bool ok = platform::fileOpen(out, temp, platform::OpenMode::Scratch);
  std::vector<uint8_t> header(kHeader);
  ok = ok && platform::getBytes(in, 1, header) == header.size();
  const int64_t newData = oldData + 2 * int64_t{count};
  auto put32 = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) header[at + k] = static_cast<uint8_t>(v >> (8 * k));
  };
  put32(4, static_cast<uint32_t>(newData + kHeader - 8));
  put32(40, static_cast<uint32_t>(newData));
  ok = ok && platform::putBytes(out, 1, header);
  int64_t pos = kHeader + 1;
  std::vector<int16_t> block(kBlock, 0);
  for (int64_t left = count - 1; ok && left > 0;) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, kBlock));
    ok = platform::putInt16s(out, pos, std::span<const int16_t>(block.data(), n));
    pos += 2 * static_cast<int64_t>(n);
    left -= static_cast<int64_t>(n);
  }
  std::vector<uint8_t> bytes(2 * kBlock);
  for (int64_t from = kHeader + 1, left = oldData; ok && left > 0;) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, 2 * kBlock));
    std::span<uint8_t> part(bytes.data(), n);
    ok = platform::getBytes(in, from, part) == n && platform::putBytes(out, pos, part);
    from += static_cast<int64_t>(n);
    pos += static_cast<int64_t>(n);
    left -= static_cast<int64_t>(n);
  }
  ok = ok && platform::putInt16(out, pos, 0);
  ok = ok && platform::flush(out);
  platform::fileClose(in);
  platform::fileClose(out);
  return ok && platform::fileLen(temp) == oldLen + 2 * int64_t{count};
}

// Sets the cursor of a window for the life of a scope: the arrow is back on every exit.
struct BusyPointer {
  ui::Form* form;
  explicit BusyPointer(ui::Form* f) : form(f) { if (form) form->setPointer(ui::Pointer::Hourglass); }
  ~BusyPointer() { if (form) form->setPointer(ui::Pointer::Arrow); }
};

}  // namespace

Waveform::~Waveform() {
  if (trackmod_) sys_.app.releaseForm(std::move(trackmod_));
}

int Waveform::selectedTrack() const { return trackOf(seltrkid); }

void Waveform::buildTrackmod() {
  trackmod_ = std::make_unique<ui::Form>(kTrackmod);
  ui::Form& f = *trackmod_;
  f.setTitle(" Track Functions.");
  f.resize(4275, 2010);
  f.setBackColor(colour::kGrey);
  for (const BoxSpec& b : kShiftBox) {
    ui::Control& c = b.text ? static_cast<ui::Control&>(f.addTextBox(b.name, "", b.l, b.t, b.w, b.h))
                            : f.addLabel(b.name, b.caption, b.l, b.t, b.w, b.h);
    if (*b.tip) c.setToolTip(b.tip);
    if (!b.text && std::string_view(b.name) != "usernote") c.setBackColor(colour::kLightGrey);
    // The window's font runs the captions past their labels' right edges: a smaller size fits
    // each label, and the note wraps onto the lines its label has room for.
    if (!b.text) {
      c.setFont({{}, 7.5});
      static_cast<ui::Label&>(c).setWordWrap(std::string_view(b.name) == "usernote");
    }
  }
  f.at("inslabel").onClick = [this] {
    insertsams();
    if (trackmod_) trackmod_->close();
  };
  f.at("dellabel").onClick = [this] {
    deletesams();
    if (trackmod_) trackmod_->close();
  };
  ui::Menu& menu = f.addMenu("funmenu");
  for (const MenuItem& m : kMenu) menu.addItem(m.name, m.caption).onClick = [this, run = m.run] { (this->*run)(); };
  f.onLoad = [this] { trackmod_->move(1500, 2100); };
  f.onUnload = [this](int&) {
    if (trackmod_) sys_.app.releaseForm(std::move(trackmod_));
  };
  sys_.app.registerForm(f);
  f.load();
}

// ---- the function buttons --------------------------------------------------------------------

void Waveform::Fun_Click(int row) {
  shell::MainForm& f = sys_.form;
  if (playing() || f.R[row - 1]->foreColor() == colour::kRed) return;
  const int t = shownTrack(row);
  seltrkfile = sys_.shell->tkfname[static_cast<size_t>(t) - 1];
  seltrkid = trackId(t);
  if (!trackmod_) buildTrackmod();
  ui::popupMenu(static_cast<ui::Menu&>(trackmod_->at("funmenu")));
}

// ---- the solos -------------------------------------------------------------------------------

void Waveform::mfsoltrk() {
  shell::MainForm& f = sys_.form;
  if (playing()) return;
  if (!playSolo("Play " + seltrkfile + " From " + str(sys_.transport->playfrom()), selectedTrack()))
    return;
  f.Umsg->setCaption("      SOLO PLAY TRACK " + seltrkid + " - Click STOP to stop.");
  f.PLAY->setForeColor(colour::kRed);
  f.RPSTOP->setForeColor(colour::kYellow);
  f.QUIT->setEnabled(false);
  soloplay = 1;
}

void Waveform::mfsolwav() {
  shell::MainForm& f = sys_.form;
  soloptr = 3;
  f.timeptr->setWidth(soloptr);
  const bool one = onesecmode == 1;
  const int64_t from = int64_t{viewmin()} * 60000 + int64_t{viewsec()} * 1000;
  const int64_t to = from + (one ? 1000 : 3000);
  if (!playSolo("Play " + seltrkfile + " from " + str(from) + " to " + str(to), selectedTrack()))
    return;
  f.Umsg->setCaption(std::string(one ? " Solo 1 sec waveform " : " Solo 3 sec waveform ") + seltrkid + ".");
  solowav = 1;
  f.PLAY->setForeColor(colour::kRed);
  f.RPSTOP->setForeColor(colour::kYellow);
  ptrmove();
}

void Waveform::ptrmove() {
  shell::MainForm& f = sys_.form;
  constexpr double kStepPx = 17.15;
  const bool one = onesecmode == 1;
  const int64_t d = one ? 1000 : 3000, interval = one ? 33 : 100;
  const int64_t start = platform::nowMs();
  int64_t last = start;
  double width = soloptr;
  auto stopped = [&] { return f.RPSTOP->foreColor() == colour::kRed; };
  for (;;) {
    // Sleeps in the event loop until the next step is due, the solo ends or STOP is clicked.
    platform::waitUntil(stopped, std::min(last + interval, start + d) + 1);
    if (stopped()) return;  // STOP ended the solo and reset the bar
    const int64_t now = platform::nowMs();
    if (now > start + d || platform::ending()) {
      soloptr = 3;
      f.timeptr->setWidth(soloptr);
      Stop_wav();
      return;
    }
    if (now > last + interval) {
      width += kStepPx;
      soloptr = static_cast<int>(std::lround(width));
      f.timeptr->setWidth(soloptr);
      last = now;
    }
  }
}

void Waveform::Stop_wav() {
  shell::MainForm& f = sys_.form;
  // Quiet: a program that is ending has closed the device already.
  platform::mciExecuteQuiet("Stop " + seltrkfile);
  solowav = 0;
  f.PLAY->setForeColor(colour::kYellow);
  f.RPSTOP->setForeColor(colour::kRed);
}

// ---- hide/show, centre pan, mute -------------------------------------------------------------

void Waveform::mfshwwav() {
  if (const int t = selectedTrack()) tglwav(t);
}

void Waveform::mfcpan() {
  shell::MainForm& f = sys_.form;
  const int t = selectedTrack();
  if (t == 0) return;
  const int row = t > kRows ? t - kRows : t;
  if (t <= kRows) {
    sys_.mixer->cpanrow(row);
  } else {
    f.selrect[row - 1]->setTag("0");
  }
  f.P[row - 1]->setLeft(kKnobCentre);
}

void Waveform::mfmtvol() {
  shell::MainForm& f = sys_.form;
  const int t = selectedTrack();
  if (t == 0) return;
  const int row = t > kRows ? t - kRows : t;
  f.V[row - 1]->setLeft(kVolSilent);
  if (t <= kRows) {
    f.V[row - 1]->setTag("-10000");
    f.VL[row - 1]->setTag("1");
  } else {
    f.wd[row - 1]->setTag("-10000");
  }
}

// ---- delete ----------------------------------------------------------------------------------

void Waveform::mfdeltrk() {
  const int t = selectedTrack();
  if (t == 1) return deltrk(1);
  if (t == 0) return;
  seltrkfile = sys_.shell->tkfname[static_cast<size_t>(t) - 1];
  del_track();
}

void Waveform::del_track() {
  const auto& names = sys_.shell->tkfname;
  for (int t = 2; t <= kTracks; ++t)
    if (seltrkfile == names[static_cast<size_t>(t) - 1]) return deltrk(t);
}

void Waveform::deltrk(int t) {
  shell::MainForm& f = sys_.form;
  const int row = t > kRows ? t - kRows : t;
  if (t == 1 && (page2() || f.R[0]->foreColor() == colour::kRed || playing())) return;
  const std::string text = t == 1 ? " Click OK to delete Track 01. Cancel - no delete."
                                  : " Click OK to delete Track . Cancel - no delete.";
  if (ui::msgBox(text, ui::kOkCancel, "Delete Track") != ui::kOk) {
    f.Umsg->setCaption(" Track Delete Cancelled. Ready.");
    return;
  }
  if (onesecmode == 1) wvlbl_Click();
  if (!platform::kill(sys_.shell->tkfname[static_cast<size_t>(t) - 1])) {
    ui::msgBox(" Track " + platform::twoDigits(t) + " could not be deleted - it is as it was. Please Re-try.");
    return;
  }
  BusyPointer busy(&f);
  f.R[row - 1]->setForeColor(colour::kRed);
  f.selrect[row - 1]->setVisible(false);
  // Track 01's view steps back a page; any other keeps the page it showed.
  if (t == 1) {
    minus_Click();
  } else {
    redrawPage();
  }
  tkwavdrawn[static_cast<size_t>(t) - 1] = 0;
  f.Umsg->setCaption(" Track deleted. Ready.");
}

// ---- the track shift -------------------------------------------------------------------------

void Waveform::mfsftrk() {
  if (onesecmode == 1) wvlbl_Click();
  const int t = selectedTrack();
  if (t <= 1) return;
  seltrkfile = sys_.shell->tkfname[static_cast<size_t>(t) - 1];
  if (!trackmod_) buildTrackmod();
  // The box keeps its own copy: a later menu on another row never redirects it.
  shiftid_ = seltrkid;
  shiftfile_ = seltrkfile;
  trackmod_->setTitle(" Track Shift - " + shiftid_ + ".");
  trackmod_->show();
}

bool Waveform::shiftAllowed() const {
  return !playing() && !sys_.transport->recbusy() && !shiftfile_.empty() && trackmod_;
}

void Waveform::redrawAfterShift() { redrawPage(); }

void Waveform::insertsams() {
  if (!shiftAllowed()) return;
  // An empty box or a text that is not one number changes nothing.
  const auto v = platform::parseNumber(trackmod_->at("samstoinsert").text());
  if (!v) return;
  const std::string temp = shiftScratch(*sys_.shell), path = shiftfile_;
  if (!shiftReady(*this, path, temp)) return;
  inscount = std::max<int32_t>(sat32(platform::roundHalfEven(*v)), 2);
  // The file stays under 2^31 bytes.
  const int64_t room = (kMaxFileBytes - platform::fileLen(path)) / 2;
  inscount = static_cast<int32_t>(std::min<int64_t>(inscount, room));
  bool done = false;
  {
    BusyPointer busy(trackmod_.get());
    done = inscount >= 2 && writeShifted(path, temp, inscount) && platform::renameReplace(temp, path);
    if (!done) platform::killUnheld(temp);
  }
  if (done) {
    redrawAfterShift();
  } else {
    ui::msgBox(kFileFailed);
  }
}

void Waveform::deletesams() {
  if (!shiftAllowed()) return;
  const auto v = platform::parseNumber(trackmod_->at("samstodel").text());
  if (!v) return;
  if (!shiftReady(*this, shiftfile_, shiftScratch(*sys_.shell))) return;
  // The range is tested on the number as typed; the count is rounded, then made milliseconds.
  int64_t delms = 1;
  if (*v > 0 && *v <= 99999)
    delms = std::max<int64_t>(1, platform::roundHalfEven(static_cast<double>(platform::roundHalfEven(*v)) / 44.1));
  bool done = false;
  {
    BusyPointer busy(trackmod_.get());
    done = capdelete(shiftfile_, 0, delms);
  }
  if (done) {
    redrawAfterShift();
  } else {
    ui::msgBox(kFileFailed);
  }
}

}  // namespace waveform
