// The waveform views, sample editing and the track menu. Until their own work lands, only the
// state and entry points the shell and the transport already call exist here; the drawing and
// editing entry points do nothing.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "app/system.h"

namespace waveform {

class Waveform {
 public:
  static constexpr int kTracks = 28;
  explicit Waveform(app::System& sys) : sys_(sys) {}

  // ---- entry points (empty until the waveform views are built) ----
  void wvdispt(int track) { (void)track; }  // draws track 1..28 in its row (3-second view)
  void minus_Click() {}                     // back one page; the common redraw
  void hidewavs_Click() {}
  void wvlbl_Click() {}
  void Form_Paint() {}
  void enablewavdisplays() {}
  void disablewavdisplays() {}
  void del_track() {}

  // ---- per-track view flags (element n-1 for track n) ----
  std::array<int16_t, kTracks> tkwavdrawn{};
  std::array<int16_t, kTracks> tkwavhide{};
  // 1 while the 1-second view is shown, 0 in the 3-second view.
  int16_t onesecmode = 0;
  // Clears every drawn and hidden mark (the page switch).
  void clearViewFlags() { tkwavdrawn.fill(0); tkwavhide.fill(0); }

  // ---- the track menu's solo playbacks ----
  int16_t solowav = 0;     // 1 while the solo-waveform playback runs
  int16_t soloplay = 0;    // 1 while the solo-track playback runs
  std::string seltrkfile;  // the track last chosen with its row's function button (25 chars)
  int soloptr = 3;         // width of the solo progress bar in pixels; 3 when no solo runs

 private:
  app::System& sys_;
};

}  // namespace waveform
