// The transport: PLAY, STOP, the record buttons, the song clock, the start point, the master.
// Until its own work lands, only the state and entry points other subsystems already call
// exist here, and the entry points do nothing.
#pragma once
#include <cstdint>

#include "app/system.h"

namespace transport {

class Transport {
 public:
  explicit Transport(app::System& sys) : sys_(sys) {}

  // STOP. Empty until the transport's work lands.
  void RPSTOP_Click() {}
  // One step of the song clock. Empty until the transport's work lands.
  void mytimes() {}

  // ---- state the other subsystems read or set ----
  bool recbusy() const { return recbusy_; }        // a recording runs
  bool mixplaying() const { return mixplaying_; }  // the stereo master plays
  void setRecbusy(bool v) { recbusy_ = v; }
  void setMixplaying(bool v) { mixplaying_ = v; }
  // Transport mode: 1 real-time playback, 2 recording, 0 after a stopped playback.
  int16_t tpmode() const { return tpmode_; }
  void setTpmode(int16_t v) { tpmode_ = v; }
  int16_t kbplay() const { return kbplay_; }       // the keyboard's play state
  void setKbplay(int16_t v) { kbplay_ = v; }
  int32_t elapsecs() const { return elapsecs_; }   // song clock seconds
  void setElapsecs(int32_t v) { elapsecs_ = v; }
  // The start point's minutes and seconds (the punch-in time).
  int32_t pinmins() const { return pinmins_; }
  int32_t pinsecs() const { return pinsecs_; }
  void setPintime(int32_t mins, int32_t secs) { pinmins_ = mins; pinsecs_ = secs; }

 private:
  app::System& sys_;
  bool recbusy_ = false, mixplaying_ = false;
  int16_t kbplay_ = 0;
  int16_t tpmode_ = 0;
  int32_t elapsecs_ = 0, pinmins_ = 0, pinsecs_ = 0;
};

}  // namespace transport
