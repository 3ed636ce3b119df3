// The sound device of a run, the check of which track files take part, the 28 looping track
// buffers and the half refills that feed them a second of their file at a time.
#include <algorithm>
#include <cstring>

#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace engine {

namespace colour = platform::ui::colour;

namespace {

constexpr int kPriorityLevel = 2;

// "T01.wav" .. "T28.wav": the only name a listing may return for track n to take part.
std::string trackName(int n) {
  return std::string("T") + char('0' + n / 10) + char('0' + n % 10) + ".wav";
}

}  // namespace

void Engine::dsoundinit() {
  releaseRun();  // a new start ends any earlier run
  startFailed = false;
  setupGen_ = runGen_;
  const std::string cur = platform::curDir();
  gdrvletter = cur.empty() ? "C" : cur.substr(0, 1);
  // No output is not yet a failure: the recording of track 01 alone needs none. opentracks,
  // which every start that plays goes through, abandons a start without a device.
  dsound = platform::SoundDevice::create();
  if (dsound && !dsound->setCooperativeLevel(kPriorityLevel)) dsound.reset();
  for (int n = 1; n <= kTracks; ++n)
    trkfile[n - 1] = gdrvletter + ":\\Vemracd\\Mysong\\" + trackName(n);
}

void Engine::chktrkfiles() {
  if (startFailed) return;
  fullbuf.assign(kBufferBytes / 2, 0);
  halfbuf.assign(kSamplesPerHalf, 0);
  for (int n = 1; n <= kTracks; ++n) {
    std::string& path = trkfile[n - 1];
    if (path == kNoFile) continue;
    dirres = platform::dirOne(path).value_or("");
    if (dirres != trackName(n)) path = kNoFile;  // missing, or named in another case
  }
}

void Engine::mkbuf(int track) {
  if (track < 1 || track > kTracks) return;
  const int i = track - 1;
  if (trkfile[i] == kNoFile) return;
  if (trkbuf[i] && dsound) dsound->releaseBuffer(trkbuf[i]);
  trkbuf[i] = nullptr;
  trkptr[i] = nullptr;

  platform::SoundBuffer* b = dsound ? dsound->createBuffer(kBufferBytes) : nullptr;
  int16_t* mem = b ? dsound->lock(b) : nullptr;
  if (!mem || dsound->sizeBytes(b) < uint32_t(kBufferBytes)) {
    if (b) dsound->releaseBuffer(b);
    dropTrack(track);
    return;
  }
  trkbuf[i] = b;
  trkptr[i] = mem;
  if (fullbuf.size() * 2 >= size_t(kBufferBytes))
    std::memcpy(mem, fullbuf.data(), kBufferBytes);
  else
    std::memset(mem, 0, kBufferBytes);
  // A value the device refuses leaves the buffer at its default.
  dsound->setPan(b, trkpan[i]);
  dsound->setVolume(b, trkvol[i]);
}

void Engine::dropTrack(int track) {
  trkfile[track - 1] = kNoFile;
  platform::fileClose(track);
}

void Engine::fillhalf(int track, bool second) {
  if (track < 1 || track > kTracks) return;
  const int i = track - 1;
  if (trkfile[i] == kNoFile || !trkptr[i] || !platform::isOpen(track)) return;
  if (halfbuf.size() != size_t(kSamplesPerHalf)) halfbuf.assign(kSamplesPerHalf, 0);
  // What the file still holds, then silence: getInt16s zero-fills the rest of the half, so a
  // track that ends never repeats itself nor sounds what the transfer area held before.
  const int64_t at = platform::seekPos(track);
  platform::getInt16s(track, 0, halfbuf);
  platform::seek(track, at + kBytesPerSec);  // always one whole second on, also at the end
  std::memcpy(trkptr[i] + (second ? kSamplesPerHalf : 0), halfbuf.data(), kBytesPerSec);
}

void Engine::preloadtracks() {
  if (startFailed) return;
  if (!dsound) {
    abandonStart("no sound output device could be opened");
    return;
  }
  sys_.form.ffwd->setTag("0");  // the cue offset has been used by opentracks
  if (!periodRequested_) {
    platform::timeBeginPeriod(1);
    periodRequested_ = true;
  }
  int present = 0;
  for (const std::string& f : trkfile) present += f != kNoFile;
  for (int n = 1; n <= kTracks; ++n) mkbuf(n);
  if (present > 0 && std::none_of(trkbuf.begin(), trkbuf.end(), [](auto* b) { return b; })) {
    abandonStart("the sound device refused the track buffers");
    return;
  }
  for (int n = 1; n <= kTracks; ++n) {
    fillhalf(n, false);
    fillhalf(n, true);
  }
  replayStartEntries(autoidx);
}

// Buffers before the device, as the device would release them; the memory of every buffer is
// gone once releaseBuffer returns, so trkptr is cleared with it.
void Engine::releaseRun() {
  ++runGen_;
  for (int i = 0; i < kTracks; ++i) {
    if (trkbuf[i] && dsound) dsound->releaseBuffer(trkbuf[i]);
    trkbuf[i] = nullptr;
    trkptr[i] = nullptr;
  }
  dsound.reset();
}

void Engine::abandonStart(const std::string& why, bool fileFailed) {
  stopdsound();
  startFailed = true;
  shell::MainForm& f = sys_.form;
  f.ffwd->setTag("0");
  f.PLAY->setForeColor(colour::kYellow);
  f.RPSTOP->setForeColor(colour::kRed);
  for (platform::ui::Label* b : {f.QUIT, f.HLPDOC, f.MIX}) b->setEnabled(true);
  if (sys_.waveform) sys_.waveform->enablewavdisplays();
  if (sys_.transport) {
    sys_.transport->setTpmode(0);
    sys_.transport->setRecbusy(false);
  }
  platform::ui::msgBox(" Playback could not start: " + why + ". Please Re-try.",
                       platform::ui::kOkOnly,
                       fileFailed ? "PLAYBACK NOT STARTED" : "SOUND NOT CONFIGURED");
}

}  // namespace engine
