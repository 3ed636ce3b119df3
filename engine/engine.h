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
  // A start that cannot go on (no output device, no buffer for any track, a track file that
  // cannot be opened) is abandoned by the step that finds it: the engine is released, the
  // transport is put back to its stopped state, a box says why ("SOUND NOT CONFIGURED" when
  // the sound system failed, "PLAYBACK NOT STARTED" naming the file when a track file did) and
  // `startFailed` becomes true. Every later step of the sequence, playloop included, then does
  // nothing; dsoundinit clears it. The device is needed from opentracks on, so the recording of
  // track 01 alone (dsoundinit, getmixvals, chktrkfiles only) works without an output.
  void dsoundinit();
  void chktrkfiles();
  void preloadtracks();
  // Track 1..28. A buffer the device refuses (or cannot lock) drops only its track: it gets
  // no buffer, its file is closed and it reads "noF" for the rest of the run.
  void mkbuf(int track);
  // The next second of the track's file into the first (a) or second (b) half of its buffer.
  // Past the end of its sound the rest of the half is silence; a file that is not open, or a
  // track without a buffer, changes nothing.
  void fillhalf(int track, bool second);

  static constexpr const char* kNoFile = "noF";
  static constexpr int32_t kBufferBytes = 2 * kBytesPerSec;  // two seconds, mono 16-bit
  static constexpr int kSamplesPerHalf = kBytesPerSec / 2;

  std::unique_ptr<platform::SoundDevice> dsound;
  std::array<platform::SoundBuffer*, kTracks> trkbuf{};
  std::array<int16_t*, kTracks> trkptr{};
  std::array<std::string, kTracks> trkfile;  // path, or "noF"
  std::string gdrvletter = "C";
  std::string dirres;  // the listing of the last file check
  std::vector<int16_t> fullbuf, halfbuf;
  std::array<int16_t, kTracks> trkpan{}, trkvol{};
  bool startFailed = false;

  // ======== Track files and start position (tracks.cpp) ========
  // trkvals of tracks 02..14 are cleared; playfrom in milliseconds. Opens every present track
  // file under its track number at the start second: a continued pause, else the cue offset
  // (the Tag of ffwd) plus playfrom. Offsets are 64-bit.
  void opentracks(std::array<int16_t, 14>& trkvals, int32_t playfrom);
  int32_t startms = 0;

  // ======== Streaming loop and stop (loop.cpp) ========
  // Starts the buffers together and, for second k of the run, waits (sleeping in the event
  // loop) until the device has played k seconds, then runs the automation step and refills
  // the half that has just finished. Pacing by the device's frames means lateness never adds
  // up; seconds missed in a stall are skipped (one clock and one automation step each, no
  // refill) so the tracks stay in time with the song clock. Returns when the run is released
  // (stopdsound, or a newer start), right after the yield in which that happened, or when PLAY
  // is no longer red at the end of a second. Every slice of a wait asks whether the sound system
  // went away; the transport then ends the run (Transport::endIfSoundLost) and the loop returns.
  void playloop();
  void stopdsound();
  int32_t periodstart = 0;

  // ======== Recording device (recording.cpp) ========
  void mcirecopen();
  void mcirecstart();
  int32_t recstartms = 0;
  std::string mcistr;   // the last command sent
  int32_t mciret = 0;   // its result: 0 done, 1 failed (stored, never tested)

 private:
  // ---- Sound device, track files, streaming loop, stop, recording (device.cpp, tracks.cpp,
  // loop.cpp, recording.cpp) ----
  // Ends whatever run holds buffers or the device: releases them and starts a new generation,
  // so that a loop of the old run never touches the engine again.
  void releaseRun();
  // The failed-start path (see startFailed); `why` names what failed, a track file when
  // `fileFailed`.
  void abandonStart(const std::string& why, bool fileFailed = false);
  void dropTrack(int track);  // no buffer and no file for the rest of the run
  // playloop's pieces; `gen` is the run's generation, `runStartMs` when its buffers started.
  bool runAlive(uint64_t gen) const;
  // Milliseconds until the run has played `second` seconds (0 once it has): by the device's
  // frames, or by the clock in a run without a device.
  int64_t msToSecond(int64_t second, int64_t runStartMs) const;
  int64_t secondsPlayed(int64_t runStartMs) const;
  bool waitForSecond(int64_t second, uint64_t gen, int64_t runStartMs);
  void refill(bool second);
  void skipSecond();  // moves every open track file on by one second, unread

  uint64_t runGen_ = 0;    // bumped by every release
  uint64_t setupGen_ = 0;  // the generation dsoundinit set up
  bool periodRequested_ = false;  // a 1 ms timer resolution request is open
  bool recPending_ = false;       // recstartms holds a start the loop has not shown yet

 public:

  // ======== Mixer values (mixvals.cpp) ========
  void getmixvals();
  void setpanvol();
  static constexpr int32_t kMinLevel = -10000, kMaxPan = 10000;  // silence; hard right
  // A Tag's text as a device value: leading-number parse, halves to even, clamped to the pan
  // range (-10000..10000) or the volume range (-10000..0). Never fails.
  static int16_t tagValue(const std::string& text, bool pan);

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

  // ---- Fader automation (automation.cpp) ----
  static constexpr int kKnobMin = 120, kKnobMax = 215;  // the knobs' travel (pixels)
  std::array<std::string, kAutoEntries>& autotableOf(int track, bool pan);  // track 1..14
  // The knob position that the record pass stores for a fader of track 1..14.
  int recordedKnobPos(int track, bool pan) const;
  // Sets one fader of track 1..14 from entry `index` of its table.
  void replayEntry(int track, bool pan, int32_t index);
};

}  // namespace engine
