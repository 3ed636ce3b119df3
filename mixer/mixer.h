// The mixer's faders: the pan and volume fader of each of the 14 rows, their automation modes
// (the strip's caption: "", "R" record, "P" replay), the step entry of automation points by hand
// through the PV buttons, and the centring of a row's pan.
//
// The faders keep no state of their own: a row's knob position is the Left of its knob, its
// values are the Tags of the knob (tracks 01-14), of the strip (mixdown values of tracks 01-14)
// and of the row's holder on the page of tracks 15-28 (Shape1.. for pan, wd01.. for volume).
// The engine reads them there (getmixvals) and keeps the automation tables (autostore, autostep).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "app/system.h"

namespace mixer {

class Mixer {
 public:
  static constexpr int kRows = 14;
  static constexpr int kKnobMin = 120, kKnobMax = 215, kKnobCentre = 168;
  // The strip takes presses from 30 to 1485 twips of its 1515.
  static constexpr double kBandFrom = 30, kBandTo = 1485;
  static constexpr int32_t kPanCentreMix = 16383;

  enum class Fader { Pan, Vol };

  explicit Mixer(app::System& sys) : sys_(sys) {}
  // Attaches the 28 strips' mouse-down and the three PV buttons' clicks.
  void wire();

  // ---- the fader laws (knob positions in pixels) ----
  // The knob position a press at X twips sets, or nothing outside the band. 120 is kept as it
  // comes (a press a few twips from the left end); below that the knob stops at 121.
  static std::optional<int> knobFor(double xTwips);
  static int32_t panValue(int knob);  // device pan -5000..5000, 0 in the detent 167..169
  static int32_t panMix(int knob);    // (knob - 121) x 348, 16383 in the detent
  static int32_t volValue(int knob);  // hundredths of a dB, -10000..0, -1536 in the detent
  static int32_t volMix(int knob);    // (knob - 120) x 30, 1 where that is below 100
  // The fader key of step entry: "T01P" .. "T14V".
  static std::string key(Fader kind, int row);

  // ---- handlers ----
  // P01L_MouseDown .. P14L_MouseDown and V01L_MouseDown .. V14L_MouseDown: row 1..14. The right
  // button steps the automation mode; any other button sets the fader from X (twips). Runs to
  // its end without yielding, so it may run inside the playback loop's yield.
  void faderMouseDown(Fader kind, int row, int button, int shift, double x, double y);
  // vp1_Click .. vp3_Click: k 1..3. Arms button k for the second shown over it (or disarms all
  // when it is armed already); nothing while a recording runs, PLAY is red or tracks 15-28 are
  // on screen.
  void vp_Click(int k);

  // cpanrow01 .. cpanrow14: the pan values of track `row` (1..14) back to the centre ("0" on the
  // knob, "16383" on the strip). The knob stays where it is (the caller moves it) and the
  // engine is not called.
  void cpanrow(int row);

 private:
  bool recording() const;
  bool playing() const;  // PLAY red
  bool page1528() const;
  void stepEntry(Fader kind, int row, int knob);

  app::System& sys_;
};

}  // namespace mixer
