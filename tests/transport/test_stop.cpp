// STOP and the finishing of a take, on the whole program under the simulated clock with the
// offline sound device: what the recorder hears is a WAV the test writes, every sample of it
// different from zero and from its neighbours, so a take can be checked sample for sample.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/system.h"
#include "platform/app_loop.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/ui.h"
#include "platform/wav.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"
#include "tests/support/program_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
namespace colour = ui::colour;
using Bytes = std::vector<uint8_t>;

constexpr int64_t kRate = 44100;

// Sample j of the input: never 0, and not repeating within a second, so that a block written
// twice or a stale tail shows.
int16_t heard(int64_t j) { return int16_t(1 + j % 30011); }

using test_support::readAll;
using test_support::writeAll;

Bytes header(int channels, uint32_t dataBytes) {
  const auto h = platform::wavHeader(channels, dataBytes);
  return Bytes(h.begin(), h.end());
}

// A WAV of `frames` frames whose every channel carries heard(j).
void writeInput(const fs::path& p, int64_t frames, int channels = 1) {
  Bytes b = header(channels, uint32_t(frames * 2 * channels));
  for (int64_t j = 0; j < frames; ++j)
    for (int c = 0; c < channels; ++c) {
      const int16_t v = heard(j);
      b.push_back(uint8_t(v & 0xFF));
      b.push_back(uint8_t((v >> 8) & 0xFF));
    }
  writeAll(p, b);
}

std::vector<int16_t> samplesOf(const Bytes& b) {
  std::vector<int16_t> s(b.size() > 44 ? (b.size() - 44) / 2 : 0);
  if (!s.empty()) std::memcpy(s.data(), b.data() + 44, s.size() * 2);
  return s;
}

uint32_t u32At(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
uint16_t u16At(const Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

class StopTest : public test_support::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    root_ = root;
    writeInput(root_ / "heard.wav", 20 * kRate);
    writeInput(root_ / "heard2.wav", 20 * kRate, 2);
    hear("heard.wav");
    // The program folder: the blank template (its header, then bytes that must never reach a
    // track), the second template, the mixdown program and the request file.
    Bytes def = header(1, 0);
    def.insert(def.end(), 10 * 2 * kRate, 0x55);  // longer than any rewrite here
    writeAll(root_ / "Vemracd" / "def", def);
    writeAll(root_ / "Vemracd" / "def1", header(2, 0));
    writeAll(root_ / "Vemracd" / "Mv01.exe", Bytes(16, 1));
    writeAll(root_ / "Vemracd" / "Parms", Bytes(300, 0));
  }

  // What the recorder hears: a WAV under the drive root.
  void hear(const std::string& wav) {
    heard_ = wav;
    devices(1, 1);
  }


  // A take running as a record button leaves it, without the engine: the device records, the
  // transport shows the recording state, and `take` holds what STOP is to finish.
  void startTake(int n, bool stereo, int32_t startSecond) {
    ASSERT_TRUE(platform::mciExecute("open new type waveaudio alias cap44 "));
    ASSERT_TRUE(platform::mciExecute(std::string("set cap44 bitspersample 16 channels ") +
                                     (stereo ? "2" : "1") + " samplespersec 44100 "));
    ASSERT_TRUE(platform::mciExecute("Cue cap44 input  "));
    ASSERT_TRUE(platform::mciExecute("record cap44 From 0 "));
    form().PLAY->setForeColor(colour::kRed);
    form().RPSTOP->setForeColor(colour::kYellow);
    form().QUIT->setEnabled(false);
    form().HLPDOC->setEnabled(false);
    tp().setTpmode(2);
    tp().setRecbusy(true);
    tp().setArmedtrk(int16_t(n));
    tp().take = {true, stereo ? sh().stfname : sh().tkfname[n - 1], int16_t(n), stereo,
                 startSecond};
  }

  // Checks a finished mono take: the canonical header for its length, `silentSeconds` of
  // zeros, then what the recorder heard; returns the number of samples heard (the rest, up to
  // the end of the last block when padded, must be zero).
  int64_t checkMonoTake(const Bytes& b, int64_t silentSeconds) {
    EXPECT_GE(b.size(), 44u);
    if (b.size() < 44) return 0;
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 44), header(1, uint32_t(b.size() - 44)));
    const auto s = samplesOf(b);
    const size_t lead = size_t(silentSeconds * kRate);
    EXPECT_GE(s.size(), lead);
    for (size_t i = 0; i < lead && i < s.size(); ++i)
      if (s[i] != 0) {
        ADD_FAILURE() << "sample " << i << " of the lead-in is " << s[i];
        break;
      }
    size_t n = lead;
    while (n < s.size() && s[n] == heard(int64_t(n - lead))) ++n;
    for (size_t i = n; i < s.size(); ++i)
      if (s[i] != 0) {
        ADD_FAILURE() << "sample " << i << " after the take is " << s[i];
        break;
      }
    return int64_t(n - lead);
  }

  fs::path root_;  // the drive root's host path, as a path
};

TEST_F(StopTest, SoloPlaybacksOfTheTrackMenu) {
  writeInput(track(1), 3 * kRate);
  startProgram();
  const std::string t01 = sh().tkfname[0];
  wv().seltrkfile = t01;
  auto soloRuns = [&] {
    ASSERT_TRUE(platform::mciExecute("Play " + t01 + " From 0"));
    form().PLAY->setForeColor(colour::kRed);
    form().RPSTOP->setForeColor(colour::kYellow);
    form().QUIT->setEnabled(false);
    form().Umsg->setCaption("solo");
  };

  // The solo waveform: it stops, and the message line, the buttons and the pointer stay.
  soloRuns();
  wv().solowav = 1;
  wv().soloptr = 120;
  form().setPointer(ui::Pointer::Hourglass);
  tp().RPSTOP_Click();
  EXPECT_EQ(wv().solowav, 0);
  EXPECT_EQ(wv().soloptr, 3);
  EXPECT_EQ(form().PLAY->foreColor(), colour::kYellow);
  EXPECT_EQ(form().RPSTOP->foreColor(), colour::kRed);
  EXPECT_EQ(form().Umsg->caption(), "solo");
  EXPECT_FALSE(form().QUIT->enabled());
  EXPECT_EQ(form().pointer(), ui::Pointer::Hourglass);

  // The solo track: it stops with the stopped message, QUIT back, the arrow.
  soloRuns();
  wv().soloplay = 1;
  tp().RPSTOP_Click();
  EXPECT_EQ(wv().soloplay, 0);
  EXPECT_EQ(form().Umsg->caption(), transport::Transport::kStoppedText);
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_EQ(form().pointer(), ui::Pointer::Arrow);
  EXPECT_TRUE(ui::shownBoxes().empty()) << ui::shownBoxes()[0].text;  // both stops found the solo
}

TEST_F(StopTest, TrackOneTakeIsTheCanonicalHeaderAndWhatWasHeard) {
  startProgram();
  form().R[0]->click();  // returns at once: track 01 records alone under the window timer
  ASSERT_TRUE(tp().recbusy());
  runFor(3000);
  tp().RPSTOP_Click();
  const Bytes b = readAll(track(1));
  const int64_t n = checkMonoTake(b, 0);
  EXPECT_EQ(int64_t(b.size()), 44 + 2 * n) << "the take ends where what was heard ends";
  EXPECT_GE(n, 3 * kRate);
  EXPECT_LT(n, 3 * kRate + kRate / 2);
  EXPECT_FALSE(tp().recbusy());
  EXPECT_EQ(tp().tpmode(), 2);
  EXPECT_EQ(tp().armedtrk(), 1);  // kept after a take started at 0
  EXPECT_FALSE(tp().take.active);
  EXPECT_EQ(form().R[0]->foreColor(), colour::kBlue);
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_FALSE(form().Timer1->enabled());
  EXPECT_EQ(form().pointer(), ui::Pointer::Arrow);
  EXPECT_FALSE(fs::exists(song() / "T00.wav"));
  EXPECT_FALSE(fs::exists(song() / "temp.wav"));
  EXPECT_TRUE(platform::mciOpenDevices().empty());
  // The finishing took its two waits after the stop.
  EXPECT_GE(clock().now(), 3000 + 100 + 2200);
}

// The start point of 7 s set through the transport's state: the playback starts at second 7,
// the take has 7 s of silence in front. A start point changed during the take and a stereo
// action that rewrites armedtrk change neither the file nor the silence nor the header.
TEST_F(StopTest, LateStartPutsTheStartSecondsOfSilenceInFrontWhateverChangesMeanwhile) {
  writeInput(track(1), 12 * kRate);
  startProgram();
  tp().setStartPoint(0, 0, 7);
  at(1000, [&] {
    ASSERT_TRUE(tp().take.active);
    EXPECT_EQ(tp().take.startSecond, 7);
    tp().setStartPoint(0, 0, 2);
    tp().setArmedtrk(29);
  });
  at(2500, [&] { form().RPSTOP->click(); });
  form().R[2]->click();  // track 03 with playback; returns after STOP
  const Bytes b = readAll(track(3));
  const int64_t n = checkMonoTake(b, 7);
  EXPECT_GE(n, 2 * kRate);
  // Blocks of a second: floor(N / 44100) + 1 of them behind the silence.
  EXPECT_EQ(int64_t(b.size()), 44 + 2 * (7 + n / kRate + 1) * kRate);
  EXPECT_EQ(u32At(b, 4), b.size() - 8);
  EXPECT_EQ(u32At(b, 40), b.size() - 44);
  EXPECT_EQ(tp().armedtrk(), 0);
  EXPECT_FALSE(fs::exists(song() / "St.wav"));
  EXPECT_FALSE(fs::exists(song() / "temp.wav"));
  EXPECT_EQ(tp().elapsecs(), 1);  // the clock follows the start point as it is now
}

TEST_F(StopTest, AStartSecondOfZeroOrLessMeansNoSilence) {
  writeInput(track(1), 6 * kRate);
  startProgram();
  at(1000, [&] { tp().take.startSecond = -3; });
  at(2500, [&] { tp().RPSTOP_Click(); });
  form().R[2]->click();
  const Bytes b = readAll(track(3));
  EXPECT_EQ(int64_t(b.size()), 44 + 2 * checkMonoTake(b, 0));
  EXPECT_EQ(tp().armedtrk(), 3);
}

// The last block of the rewrite reuses the buffer: what the take does not fill is zero. The
// blank template's bytes behind its header never reach the track; a missing or short template
// is replaced by the canonical header; a stale temp.wav is overwritten.
TEST_F(StopTest, LateStartRewriteWithEveryKindOfTemplate) {
  startProgram();
  const fs::path def = root_ / "Vemracd" / "def";
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"def with bytes after its header", [] {}},
      {"def missing", [&] { fs::remove(def); }},
      {"def short", [&] { writeAll(def, Bytes(10, 0x55)); }},
      {"stale temp.wav", [&] { writeAll(song() / "temp.wav", Bytes(5000, 0x77)); }},
  };
  for (const auto& [what, prepare] : cases) {
    SCOPED_TRACE(what);
    fs::remove(track(3));
    prepare();
    startTake(3, false, 2);
    runFor(1500);  // one whole block and half of another
    tp().RPSTOP_Click();
    const Bytes b = readAll(track(3));
    const int64_t n = checkMonoTake(b, 2);
    EXPECT_GT(n, kRate);
    EXPECT_LT(n, 2 * kRate);
    EXPECT_EQ(b.size(), size_t(44 + 2 * (2 + 2) * kRate));
    EXPECT_FALSE(fs::exists(song() / "temp.wav"));
  }
}

TEST_F(StopTest, RewriteFailureKeepsTheTakeAsSavedAndRemovesTemp) {
  startProgram();
  writeAll(song() / "temp.wav", Bytes(100, 0x77));
  platform::failOpenFor(sh().scratchfname);
  startTake(3, false, 5);
  runFor(1200);
  tp().RPSTOP_Click();
  const Bytes b = readAll(track(3));
  const int64_t n = checkMonoTake(b, 0);
  EXPECT_EQ(int64_t(b.size()), 44 + 2 * n);
  EXPECT_GT(n, kRate);
  EXPECT_FALSE(fs::exists(song() / "temp.wav"));
  EXPECT_EQ(form().Umsg->caption(), transport::Transport::kStoppedText);
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_EQ(form().pointer(), ui::Pointer::Arrow);
}

TEST_F(StopTest, StereoTakeGetsTheStereoHeaderAndNoSilence) {
  hear("heard2.wav");
  startProgram();
  startTake(29, true, 5);
  runFor(1000);
  tp().RPSTOP_Click();
  const Bytes b = readAll(song() / "St.wav");
  ASSERT_GT(b.size(), 44u + 4 * kRate / 2);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 44), header(2, uint32_t(b.size() - 44)));
  EXPECT_EQ(u16At(b, 22), 2);
  EXPECT_EQ(u32At(b, 24), 44100u);
  EXPECT_EQ(u32At(b, 28), 176400u);
  EXPECT_EQ(u16At(b, 32), 4);
  const auto s = samplesOf(b);
  EXPECT_EQ(s[0], heard(0));  // no silence in front
  EXPECT_EQ(s[1], heard(0));
  EXPECT_EQ(tp().armedtrk(), 29);
}

// While the take is finished, input is blocked, nothing can start, QUIT waits; after it all
// comes back.
TEST_F(StopTest, FinishingBlocksInputRefusesStartsAndEnablesQuitOnlyAfter) {
  writeInput(track(1), 8 * kRate);
  startProgram();
  int checks = 0;
  auto duringFinishing = [&] {
    ++checks;
    EXPECT_TRUE(tp().finishing());
    EXPECT_TRUE(ui::inputBlocked());
    EXPECT_FALSE(form().QUIT->enabled());
    EXPECT_EQ(form().RPSTOP->foreColor(), colour::kRed);
    EXPECT_EQ(form().Umsg->caption(), transport::Transport::kStoppedText);
    tp().PLAY_Click();  // refused
    EXPECT_EQ(form().PLAY->foreColor(), colour::kYellow);
    tp().R_Click(4);    // refused
    EXPECT_EQ(form().R[3]->foreColor(), colour::kRed);
    tp().RPSTOP_Click();  // nothing: it is red
  };
  at(2000, [&] { tp().RPSTOP_Click(); });
  at(2050, duringFinishing);   // in the 100 ms wait
  at(3500, duringFinishing);   // in the 2200 ms wait
  form().R[2]->click();
  EXPECT_EQ(checks, 2);
  EXPECT_FALSE(tp().finishing());
  EXPECT_FALSE(ui::inputBlocked());
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_FALSE(fs::exists(track(4)));
  EXPECT_GT(checkMonoTake(readAll(track(3)), 0), kRate);
  EXPECT_EQ(form().PLAY->foreColor(), colour::kYellow);
}

TEST_F(StopTest, DeviceThatSavedNothingLeavesNoFileAndAsksForARetry) {
  writeInput(track(1), 6 * kRate);
  startProgram();
  tp().setStartPoint(0, 0, 3);
  at(1000, [&] { platform::mciReset(); });  // the device is gone with its take
  at(2000, [&] { tp().RPSTOP_Click(); });
  form().R[2]->click();
  EXPECT_FALSE(fs::exists(track(3)));
  EXPECT_FALSE(fs::exists(song() / "temp.wav"));
  EXPECT_EQ(form().R[2]->foreColor(), colour::kRed);
  EXPECT_EQ(form().Umsg->caption(), transport::Transport::kNothingSavedText);
  EXPECT_EQ(tp().armedtrk(), 3);  // no rewrite ran
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_FALSE(ui::inputBlocked());

  // A scrap shorter than a header counts as nothing and goes; the stereo track's button turns
  // red. (The scrap is written inside the finishing, after the failed save.)
  ui::clearShownBoxes();
  startTake(29, true, 0);
  runFor(300);
  platform::mciReset();
  at(clock().now() + 1000, [&] { writeAll(song() / "St.wav", Bytes(20, 1)); });
  form().ST01->setForeColor(colour::kBlue);
  tp().RPSTOP_Click();
  EXPECT_FALSE(fs::exists(song() / "St.wav"));
  EXPECT_EQ(form().ST01->foreColor(), colour::kRed);
  EXPECT_EQ(form().Umsg->caption(), transport::Transport::kNothingSavedText);
}

TEST_F(StopTest, HeaderPatchesWorkOnExistingFilesOnly) {
  startProgram();
  const std::string missing = sh().tkfname[5];
  EXPECT_FALSE(transport::Transport::monohdr(missing));
  EXPECT_FALSE(transport::Transport::stereohdr(missing));
  EXPECT_FALSE(fs::exists(track(6)));

  writeAll(track(6), Bytes(60, 0));
  EXPECT_TRUE(transport::Transport::monohdr(sh().tkfname[5]));
  Bytes b = readAll(track(6));
  ASSERT_EQ(b.size(), 60u);
  EXPECT_EQ(u32At(b, 28), 88200u);
  EXPECT_EQ(u16At(b, 32), 2);
  EXPECT_EQ(u16At(b, 22), 0);  // untouched
  EXPECT_TRUE(transport::Transport::stereohdr(sh().tkfname[5]));
  b = readAll(track(6));
  const Bytes fmt = {2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0};
  EXPECT_EQ(Bytes(b.begin() + 22, b.begin() + 34), fmt);
  EXPECT_EQ(u32At(b, 40), 0u);
}

// QUIT is disabled while a recording runs; should an exit begin all the same, the take is
// saved before the devices are closed.
TEST_F(StopTest, ExitDuringARecordingSavesTheTakeFirst) {
  startProgram();
  form().R[0]->click();
  runFor(2000);
  EXPECT_FALSE(form().QUIT->enabled());
  sh().QUIT_Click();  // from code: the button itself is disabled
  EXPECT_TRUE(program->finished());
  const Bytes b = readAll(track(1));
  EXPECT_GT(checkMonoTake(b, 0), kRate);
  EXPECT_FALSE(tp().recbusy());

  // With nothing recording the safety net does nothing.
  tp().finishTakeBeforeExit();
  EXPECT_EQ(readAll(track(1)), b);
}

}  // namespace
