// The recording device of a mono track: a new wave-audio recording under the alias cap44,
// opened and cued, then started; the moment it started is kept so that the streaming loop can
// show how much later the buffers began. No result is acted on: a device that refuses a
// command leaves the sequence as it is (the command layer shows its own error box).
#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/mci.h"

namespace engine {

namespace {

int32_t send(std::string& mcistr, const char* command) {
  mcistr = command;
  return platform::mciExecute(mcistr) ? 0 : 1;
}

}  // namespace

void Engine::mcirecopen() {
  mciret = send(mcistr, "open new type waveaudio alias cap44 ");
  mciret = send(mcistr, "set cap44 bitspersample 16 channels 1 samplespersec 44100 ");
  mciret = send(mcistr, "Cue cap44 input  ");
}

void Engine::mcirecstart() {
  mciret = send(mcistr, "record cap44 From 0 ");
  recstartms = static_cast<int32_t>(platform::timeGetTime());
  recPending_ = true;  // a reading of 0 is a start too
}

}  // namespace engine
