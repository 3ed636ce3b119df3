// The playback engine: one looping two-second sound buffer per recorded track, streamed from the
// track files a second at a time, with each track's pan and volume applied by the sound device;
// the once-a-second fader automation step; and the start of the recording device.
//
// The engine's state lives here for the whole run of the program; the transport drives it with
// the start sequence dsoundinit, getmixvals, chktrkfiles, opentracks, preloadtracks, playloop,
// and ends a run with stopdsound.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/system.h"

namespace platform { class SoundDevice; class SoundBuffer; }

namespace engine {

class Engine {
 public:
  static constexpr int kTracks = 28;
  static constexpr int kAutoTracks = 14;   // automation covers tracks 01-14
  static constexpr int kAutoEntries = 501;  // seconds 0 .. 500
  static constexpr int32_t kBytesPerSec = 88200;

  explicit Engine(app::System& sys);
  ~Engine();

  // ======== Sound device and track buffers (device.cpp) ========
  void dsoundinit();
  void chktrkfiles();
  void preloadtracks();
  void mkbuf(int track);                  // track 1..28
  void fillhalf(int track, bool second);  // the first (a) or second (b) half of its buffer

  std::unique_ptr<platform::SoundDevice> dsound;
  std::array<platform::SoundBuffer*, kTracks> trkbuf{};
  std::array<int16_t*, kTracks> trkptr{};
  std::array<std::string, kTracks> trkfile;  // path, or "noF"
  std::string gdrvletter = "C";
  std::vector<int16_t> fullbuf, halfbuf;
  std::array<int16_t, kTracks> trkpan{}, trkvol{};

  // ======== Track files and start position (tracks.cpp) ========
  // trkvals of tracks 02..14 are cleared; playfrom in milliseconds.
  void opentracks(std::array<int16_t, 14>& trkvals, int32_t playfrom);
  int32_t startms = 0;

  // ======== Streaming loop and stop (loop.cpp) ========
  void playloop();
  void stopdsound();
  int32_t periodstart = 0;

  // ======== Recording device (recording.cpp) ========
  void mcirecopen();
  void mcirecstart();
  int32_t recstartms = 0;

  // ======== Mixer values (mixvals.cpp) ========
  void getmixvals();
  void setpanvol();

  // ======== Fader automation (automation.cpp) ========
  void autostep();
  void autostore();
  // Replays entry `index` of every fader in "P" (the start of a run); nothing outside 0..500.
  void replayStartEntries(int32_t index);
  // Table of a fader key ("T01P", "T01V", ... "T14V"), or nullptr for another text.
  std::array<std::string, kAutoEntries>* autotable(const std::string& key);
  int32_t autoidx = 0;

 private:
  app::System& sys_;
  // 28 tables: "T01V", "T01P", "T02V", ... "T14P"; entries of 10 characters, "" never written.
  std::array<std::array<std::string, kAutoEntries>, 2 * kAutoTracks> autotab_;
};

}  // namespace engine
