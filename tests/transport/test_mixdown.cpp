// MIXDOWN, the master's playback and the splits, on the whole program under the simulated clock:
// the request file byte by byte, the mixdown program's completion (a script stands in for it,
// held until the test lets it go), and the splits sample by sample.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/shell.h"
#include "tests/transport/transport_fixture.h"

namespace transport_test {
namespace {

using platform::ui::Pointer;

constexpr size_t kSplitFrames = 44097;  // frames of one split block
constexpr int32_t kBlue = colour::kBlue, kRed = colour::kRed;

int16_t i16At(const Bytes& b, size_t at) { return int16_t(b[at] | b[at + 1] << 8); }
uint32_t u32At(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
std::vector<int16_t> samplesOf(const Bytes& b) {
  std::vector<int16_t> s(b.size() > 44 ? (b.size() - 44) / 2 : 0);
  if (!s.empty()) std::memcpy(s.data(), b.data() + 44, s.size() * 2);
  return s;
}
// Left and right of frame j of a stereo source: never 0, never equal.
int16_t leftOf(int64_t j) { return int16_t(1 + j % 30011); }
int16_t rightOf(int64_t j) { return int16_t(-1 - j % 29983); }

class MixdownTest : public TransportRun {
 protected:
  fs::path folder() const { return fs::path(root) / "Vemracd"; }
  fs::path parms() const { return folder() / "Parms"; }
  std::string title() { return form().title(); }

  // Mv01.exe as a script that waits for the file "go" in the drive root, then puts `master`
  // in place as Mix.wav and exits with `code`.
  void holdingMixdownProgram(int code) {
    const fs::path exe = folder() / "Mv01.exe";
    const std::string r = root;
    const std::string script = "#!/bin/sh\nwhile [ ! -e '" + r + "/go' ]; do sleep 0.01; done\n" +
                               (code == 0 ? "cp '" + r + "/master.wav' '" + r +
                                                "/Vemracd/Mysong/Mix.wav'\n"
                                          : std::string()) +
                               "exit " + std::to_string(code) + "\n";
    writeAll(exe, Bytes(script.begin(), script.end()));
    ::chmod(exe.c_str(), 0755);
    // A mono 22.05 kHz header: the completion makes it read as stereo 44.1 kHz.
    Bytes m = wavFile(1, std::vector<int16_t>(100, 7));
    m[24] = 0x22;
    m[25] = 0x56;
    writeAll(fs::path(root) / "master.wav", m);
  }
  // Lets the mixdown program go and waits (in real time) until it has ended; its completion
  // runs here, through the shell layer's reaping.
  static void letItFinish(const std::string& root) {
    writeAll(fs::path(root) / "go", {});
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (platform::attachedChildren() > 0 && std::chrono::steady_clock::now() < until) {
      platform::pollChildren();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  void startWithTracks(std::initializer_list<int> tracks) {
    for (int n : tracks) writeTrack(n, kRate);
    startProgram();
  }
};

// The request over a file filled with 0xAA: the code, the 14 volume/pan pairs (doubled and
// rounded half to even, saturated to 16 bits) and the zeros of trkvals; every other byte, the
// editor path among them, as it was. A missing mixdown program then gives its box and the
// window comes back as it was.
TEST_F(MixdownTest, RequestBytesOverAFilledFileAndAMissingProgram) {
  Bytes filled(300, 0xAA);
  const std::string editor = "/usr/bin/audio-editor";
  std::memcpy(filled.data() + 192, editor.data(), editor.size());
  writeAll(parms(), filled);
  startWithTracks({1});
  fs::remove(folder() / "Mv01.exe");
  struct Row { const char* vol; const char* pan; int16_t fileVol, filePan; };
  const Row rows[14] = {{"0", "16383", 6, 16383},         {"1", "1.5", 2, 2},
                        {"-1500", "2.5", -3000, 2},       {"20000", "0", 32767, 0},
                        {"-20000", "32272", -32768, 32272}, {"2.25", "99999", 4, 32767},
                        {"1.25", "-99999", 2, -32768},    {"abc", "7x", 0, 7}};
  for (int i = 0; i < 14; ++i) {
    const Row r = i < 8 ? rows[i] : Row{"-1500", "16383", -3000, 16383};
    form().VL[i]->setTag(r.vol);
    form().PL[i]->setTag(r.pan);
  }
  form().MIX->click();
  EXPECT_EQ(form().VL[0]->tag(), "3");
  const Bytes b = readAll(parms());
  ASSERT_EQ(b.size(), 300u);
  EXPECT_EQ(i16At(b, 11), 99);
  for (int i = 0; i < 14; ++i) {
    const Row r = i < 8 ? rows[i] : Row{"-1500", "16383", -3000, 16383};
    EXPECT_EQ(i16At(b, 15 + 4 * i), r.fileVol) << "volume of row " << i + 1;
    EXPECT_EQ(i16At(b, 17 + 4 * i), r.filePan) << "pan of row " << i + 1;
  }
  for (size_t at = 256; at < 284; ++at) EXPECT_EQ(b[at], 0) << at;
  for (size_t at : {0, 10, 13, 14, 71, 191, 217, 255, 284, 299}) EXPECT_EQ(b[at], 0xAA) << at;
  EXPECT_EQ(std::string(b.begin() + 192, b.begin() + 192 + long(editor.size())), editor);

  ASSERT_EQ(answers.titles(), std::vector<std::string>{"Important Module deleted"});
  EXPECT_EQ(title(), shell::kMainTitle);
  EXPECT_EQ(form().MIX->foreColor(), colour::kBlack);
  EXPECT_EQ(form().pointer(), Pointer::Arrow);
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_EQ(form().Mutemix->foreColor(), kBlue);
  EXPECT_FALSE(tp().mixing());
}

// A request file that cannot be written: a box, the window as it was, no program started.
TEST_F(MixdownTest, RequestThatCannotBeWrittenStartsNothing) {
  startWithTracks({1});
  platform::clearProgramStarts();
  platform::failOpenFor(sh().parmsfname);
  form().VL[0]->setTag("0");
  form().MIX->click();
  ASSERT_EQ(answers.titles(), std::vector<std::string>{"MIX Message"});
  EXPECT_EQ(form().VL[0]->tag(), "0");
  EXPECT_EQ(title(), shell::kMainTitle);
  EXPECT_EQ(form().MIX->foreColor(), colour::kBlack);
  EXPECT_EQ(form().pointer(), Pointer::Arrow);
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_TRUE(platform::programStarts().empty());
  EXPECT_FALSE(tp().mixing());
}

// The mixdown shows until the program ends; the master is announced only then, patched to
// stereo, or the window comes back with the failure on the message line. A completion that
// comes while PLAY runs leaves QUIT off.
TEST_F(MixdownTest, CompletionAfterTheProgramEnds) {
  for (const int code : {0, 3}) {
    SCOPED_TRACE(code);
    holdingMixdownProgram(code);
    startWithTracks({1});
    form().MIX->click();
    runFor(500);
    EXPECT_TRUE(tp().mixing());
    EXPECT_FALSE(fs::exists(song() / "Mix.wav"));
    EXPECT_EQ(form().Umsg->caption(),
              " Mixing down audio Tracks 01 to 14 to stereo master - Please wait.");
    EXPECT_EQ(form().pointer(), Pointer::Hourglass);
    EXPECT_EQ(form().Mutemix->foreColor(), kBlue);
    EXPECT_FALSE(form().QUIT->enabled());

    at(clock().now() + 100, [this] { form().PLAY->click(); });
    at(clock().now() + 500, [this] {
      letItFinish(root);
      EXPECT_FALSE(form().QUIT->enabled());  // PLAY still runs
    });
    stopAt(clock().now() + 1000);
    runFor(1500);
    EXPECT_FALSE(tp().mixing());
    EXPECT_TRUE(form().QUIT->enabled());
    EXPECT_EQ(form().pointer(), Pointer::Arrow);
    if (code == 0) {
      EXPECT_EQ(form().Umsg->caption().substr(0, 15), "STOPPED. You ca");  // STOP came after
      EXPECT_EQ(title(), shell::kMainTitle);
      EXPECT_EQ(form().Mutemix->foreColor(), kRed);
      EXPECT_EQ(form().MIX->foreColor(), colour::kBlack);
      const Bytes m = readAll(song() / "Mix.wav");
      ASSERT_EQ(m.size(), 244u);
      EXPECT_EQ(Bytes(m.begin() + 22, m.begin() + 34),
                (Bytes{2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0}));
    } else {
      EXPECT_EQ(title(), shell::kMainTitle);
      EXPECT_EQ(form().MIX->foreColor(), colour::kBlack);
      EXPECT_EQ(form().Mutemix->foreColor(), kBlue);
      EXPECT_FALSE(fs::exists(song() / "Mix.wav"));
    }
    TearDown();
    SetUp();
  }
}

TEST_F(MixdownTest, FailedMixdownSaysSoOnTheMessageLine) {
  holdingMixdownProgram(1);
  startWithTracks({1});
  form().MIX->click();
  letItFinish(root);
  EXPECT_EQ(form().Umsg->caption(), " Mixdown failed. Please Re-try.");
}

// The program closed during a mixdown: the mixdown program runs to its end and its completion,
// arriving after the program is gone, touches nothing.
TEST_F(MixdownTest, ProgramClosedDuringAMixdown) {
  holdingMixdownProgram(0);
  startWithTracks({1});
  form().MIX->click();
  ASSERT_TRUE(tp().mixing());
  program.reset();
  ASSERT_EQ(platform::attachedChildren(), 1);
  letItFinish(root);
  EXPECT_EQ(platform::attachedChildren(), 0);
  EXPECT_TRUE(fs::exists(song() / "Mix.wav"));
}

// ---- splits ----

// A stereo source of `frames` frames: leftOf / rightOf.
Bytes stereoSource(int64_t frames) {
  std::vector<int16_t> s;
  for (int64_t j = 0; j < frames; ++j) {
    s.push_back(leftOf(j));
    s.push_back(rightOf(j));
  }
  return wavFile(2, s);
}

// A target of a split: def's header with its two sizes, one channel of the source, then zeros
// to the end of the last whole block.
void expectTarget(const fs::path& p, int64_t frames, bool left) {
  const Bytes b = readAll(p);
  const int64_t n = (frames / int64_t(kSplitFrames) + 1) * int64_t(kSplitFrames);
  ASSERT_EQ(int64_t(b.size()), 44 + 2 * n) << p;
  EXPECT_EQ(u32At(b, 4), uint32_t(2 * n + 36));
  EXPECT_EQ(u32At(b, 40), uint32_t(2 * n));
  const auto def = platform::wavHeader(1, 0);
  EXPECT_EQ(Bytes(b.begin() + 8, b.begin() + 40), Bytes(def.begin() + 8, def.begin() + 40));
  const std::vector<int16_t> s = samplesOf(b);
  for (int64_t j = 0; j < n; ++j) {
    const int16_t want = j >= frames ? 0 : left ? leftOf(j) : rightOf(j);
    if (s[size_t(j)] != want) {
      ADD_FAILURE() << p << " sample " << j << ": " << s[size_t(j)] << " want " << want;
      return;
    }
  }
}

void expectSplitRows(shell::MainForm& f, int left) {
  const int l = left - 1, r = left;
  EXPECT_EQ(f.P[l]->tag(), "-10000");
  EXPECT_EQ(f.P[r]->tag(), "10000");
  EXPECT_EQ(f.PL[l]->tag(), "0");
  EXPECT_EQ(f.PL[r]->tag(), "32272");
  for (int i : {l, r}) {
    EXPECT_EQ(f.V[i]->tag(), "-1500");
    EXPECT_EQ(f.VL[i]->tag(), "1720");
    EXPECT_EQ(f.R[i]->foreColor(), kBlue);
  }
  EXPECT_EQ(f.P[l]->left(), 122);
  EXPECT_EQ(f.P[r]->left(), 214);
}

// The master onto tracks 01/02, over tracks that hold recordings: sample-exact, block counts as
// documented (a source of whole blocks gets one block more), rows 01/02 hard left and right,
// rows 03-14 turned down.
TEST_F(MixdownTest, MasterSplitRoundTrip) {
  for (const int64_t frames : {int64_t{0}, int64_t{kSplitFrames}, int64_t{kSplitFrames + 123}}) {
    SCOPED_TRACE(frames);
    writeAll(song() / "Mix.wav", stereoSource(frames));
    startWithTracks({1, 2, 5});
    form().Split->click();
    ASSERT_EQ(answers.titles(), std::vector<std::string>{"Perform Split Function"});
    expectTarget(track(1), frames, true);
    expectTarget(track(2), frames, false);
    expectSplitRows(form(), 1);
    for (int i = 2; i < 14; ++i) EXPECT_EQ(form().V[i]->tag(), "-3220");
    EXPECT_EQ(form().VL[4]->tag(), "-1500");  // the mixdown labels stay
    EXPECT_EQ(form().Umsg->caption(), " Split of Mix to T01/2 done. See Help for details. Ready.");
    EXPECT_EQ(form().Split->foreColor(), colour::kBlack);
    EXPECT_EQ(form().pointer(), Pointer::Arrow);
    EXPECT_FALSE(fs::exists(song() / "T01.new") || fs::exists(song() / "T02.new"));
    TearDown();
    SetUp();
  }
}

// Every Tag of the rows' knobs and strips.
std::vector<std::string> rowTags(shell::MainForm& f) {
  std::vector<std::string> t;
  for (int i = 0; i < 14; ++i)
    t.insert(t.end(), {f.P[i]->tag(), f.V[i]->tag(), f.PL[i]->tag(), f.VL[i]->tag()});
  return t;
}

// A split that fails part way (a target that cannot be written or renamed over, a source that
// cannot be read) leaves the tracks, the rows, the colours and the window as they were and says
// so; Cancel changes nothing. A source that is not plain (ffmpeg's LIST before the data), or a
// target track read-only (r), a link (l) or a second name (h), is refused before the question;
// without that target a source tagged after its sound is split, the tag left out.
TEST_F(MixdownTest, FailedOrCancelledSplitChangesNothing) {
  struct Case { bool master; const char* fail; const char* folder; const char* box; char kind = 0; const char* text = "are as they were. Please Re-try."; };
  const Case cases[] = {
      {true, "", "", "Split failed", 'f', " Mix.wav is not a plain 44.1 kHz 16-bit stereo WAV - nothing was split, T01 and T02 are as they were. Please Re-try."},
      {false, "", "", "Split failed", 'f', " St.wav is not a plain 44.1 kHz 16-bit stereo WAV - nothing was split, T13 and T14 are as they were. Please Re-try."},
      {true, "", "", "VemraCd", 'r', " Track 01 is read-only - it was not changed. Please Re-try."}, {false, "", "", "VemraCd", 'l', " Track 13 is a link to another file - it was not changed. Please Re-try."},
      {true, "", "", "VemraCd", 'h', " Track 01 is a link to another file - it was not changed. Please Re-try."}, {false, "", "", "VemraCd", 'r', " Track 13 is read-only - it was not changed. Please Re-try."},
      {true, "", "", "VemraCd", 'l', " Track 01 is a link to another file - it was not changed. Please Re-try."}, {false, "", "", "VemraCd", 'h', " Track 13 is a link to another file - it was not changed. Please Re-try."},
      {true, "C:\\Vemracd\\Mysong\\T02.new", "", "Split failed"},
      {true, "C:\\Vemracd\\Mysong\\Mix.wav", "", "Split failed"},
      {true, "", "T02.wav", "Split failed"},  // the second rename fails
      {false, "C:\\Vemracd\\Mysong\\T14.new", "", "Split failed"},
      {false, "", "", ""},  // Cancel
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fail) + c.text);
    Bytes src = stereoSource(1000), tag(98312, 'x');  // an "id3 " chunk of 96 KiB
    std::memcpy(tag.data(), "id3 \0\x80\1\0", 8), src.insert(c.kind == 'f' ? src.begin() + 36 : src.end(), tag.begin(), c.kind == 'f' ? tag.begin() + 12 : tag.end());
    if (c.kind == 'f') std::memcpy(src.data() + 36, "LIST\4\0\0\0INFO", 12);
    writeAll(song() / "Mix.wav", src), writeAll(song() / "St.wav", src);
    if (*c.folder) fs::create_directories(song() / c.folder / "x");
    startWithTracks({1, 13});
    const fs::path t = track(c.master ? 1 : 13), out = fs::path(root) / "out.wav";
    c.kind == 'r' ? fs::permissions(t, fs::perms{0444}) : c.kind == 'h' ? fs::create_hard_link(t, out) : c.kind == 'l' ? fs::rename(t, out), fs::create_symlink(out, t) : void();
    const Bytes t1 = readAll(track(1)), t13 = readAll(track(13));
    const std::string titleBefore = title();
    shell::MainForm& f = form();
    const std::vector<std::string> tags = rowTags(f);
    if (*c.fail) platform::failOpenFor(c.fail);
    if (!*c.box) answers.queue.push_back(platform::ui::kCancel);
    (c.master ? f.Split : f.STSP)->click();
    if (*c.box) {
      EXPECT_EQ(answers.titles().back(), c.box);
      EXPECT_TRUE(answers.shown.back().text.ends_with(c.text));
    }
    EXPECT_TRUE(!c.kind || (answers.shown.size() == 1 && fs::is_symlink(t) == (c.kind == 'l') && fs::hard_link_count(t) == (c.kind == 'h' ? 2u : 1u) && (c.kind != 'r' || fs::status(t).permissions() == fs::perms{0444})));
    EXPECT_EQ(readAll(track(1)), t1);
    EXPECT_EQ(readAll(track(13)), t13);
    EXPECT_FALSE(fs::is_regular_file(track(2)) || fs::exists(track(14)));
    EXPECT_FALSE(fs::exists(song() / "T02.new") || fs::exists(song() / "T01.keep"));
    EXPECT_EQ(f.R[1]->foreColor(), kRed);
    EXPECT_EQ(f.R[13]->foreColor(), kRed);
    EXPECT_EQ(rowTags(f), tags);
    EXPECT_EQ(f.P[0]->left(), shell::MainForm::kKnobCentrePx);
    EXPECT_EQ(f.Split->foreColor(), colour::kBlack);
    EXPECT_EQ(f.pointer(), Pointer::Arrow);
    const std::string cancelled =
        std::string(45, ' ') + "Digital Multitrack Recording and Mixing Display.";
    EXPECT_EQ(title(), *c.box ? titleBefore : cancelled);
    if (c.kind && c.kind != 'f') fs::remove(t), (c.master ? f.Split : f.STSP)->click(), expectTarget(t, 1000, true), expectTarget(track(c.master ? 2 : 14), 1000, false);
    TearDown();
    SetUp();
  }
  writeAll(song() / "Mix.wav", stereoSource(1000));
  fs::create_directories(song() / "T02.wav" / "x");
  startProgram();
  platform::failOpenFor("C:\\Vemracd\\Mysong\\T01.wav");
  form().Split->click();  // T02 cannot be placed, nor the new T01 taken back
  EXPECT_TRUE(answers.shown.back().text.ends_with("back as they were. Please Re-start."));
}

// The stereo track recorded through the offline device (it hears a stereo file), saved by STOP
// as St.wav with the stereo fields, split onto tracks 13/14 sample for sample, then deleted.
TEST_F(MixdownTest, StereoTrackRecordedSplitAndDeleted) {
  writeAll(fs::path(root) / "heard.wav", stereoSource(10 * kRate));
  devices(1, 1);
  writeTrack(1, 3 * kRate);
  startProgram();
  tp().setStartPoint(0, 1, 0);
  at(0, [this] { form().ST01->click(); });
  at(10, [this] {
    EXPECT_EQ(var("take"), "29 stereo 0 C:\\Vemracd\\Mysong\\St.wav");
    EXPECT_EQ(tp().playfrom(), 0);
    EXPECT_EQ(form().Punchins->caption(), " From");
    EXPECT_EQ(form().ST01->foreColor(), kBlue);
  });
  stopAt(2000);
  finish();
  ASSERT_FALSE(form().PLAY->foreColor() == kRed);
  const std::vector<std::string>& log = platform::mciCommandLog();
  const std::vector<std::string> starts = {
      "open new type waveaudio alias cap44 ",
      "set cap44 bitspersample 16 channels 2 samplespersec 44100 ", "record cap44 From 0 "};
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 6, log.end() - 3), starts);
  EXPECT_FALSE(fs::exists(song() / "T00.wav"));

  const Bytes st = readAll(song() / "St.wav");
  ASSERT_GT(st.size(), 44u + 4 * kRate);
  EXPECT_EQ(i16At(st, 22), 2);
  EXPECT_EQ(u32At(st, 28), 176400u);
  // What was heard, frame for frame, from wherever the take began.
  const std::vector<int16_t> s = samplesOf(st);
  const int64_t frames = int64_t(s.size() / 2);
  int64_t k = 0;
  while (k < 30011 && leftOf(k) != s[0]) ++k;
  for (int64_t j = 0; j < frames; ++j)
    ASSERT_TRUE(s[size_t(2 * j)] == leftOf(j + k) && s[size_t(2 * j + 1)] == rightOf(j + k)) << j;

  form().STSP->click();
  const std::vector<int16_t> l = samplesOf(readAll(track(13))), r = samplesOf(readAll(track(14)));
  ASSERT_EQ(l.size(), size_t((frames / int64_t(kSplitFrames) + 1) * int64_t(kSplitFrames)));
  ASSERT_EQ(r.size(), l.size());
  for (int64_t j = 0; j < int64_t(l.size()); ++j) {
    const bool in = j < frames;
    ASSERT_TRUE(l[size_t(j)] == (in ? s[size_t(2 * j)] : 0) &&
                r[size_t(j)] == (in ? s[size_t(2 * j + 1)] : 0))
        << j;
  }
  expectSplitRows(form(), 13);
  EXPECT_EQ(form().V[2]->tag(), "-1500");  // the stereo split turns nothing else down
  EXPECT_EQ(form().Umsg->caption(),
            " Split of Stereo track to T13/14 done. See Help for more details. Ready.");

  EXPECT_EQ(tp().armedtrk(), 29);
  form().DST->click();
  EXPECT_FALSE(fs::exists(song() / "St.wav"));
  EXPECT_EQ(form().ST01->foreColor(), kRed);
  EXPECT_EQ(tp().armedtrk(), 0);
}

// The stereo track's refusals of the decided faults: on the page of tracks 15-28 the files of
// tracks 13 and 14 themselves are tested; DST on a stereo track already gone counts it deleted.
TEST_F(MixdownTest, StereoTrackOnTheSecondPageAndDeletingAVanishedTrack) {
  writeTrack(1, kRate);
  writeTrack(14, kRate);
  startProgram();
  form().t1528->click();
  ASSERT_TRUE(sh().page1528());
  form().ST01->click();
  EXPECT_EQ(form().Umsg->caption(),
            "Stereo and/or tracks 13 & 14 already recorded on. Please delete first. Ready.");
  EXPECT_EQ(tp().recbusy(), false);

  form().ST01->setForeColor(kBlue);  // a stereo track that vanished behind the program's back
  form().DST->click();
  EXPECT_EQ(form().Umsg->caption(), " Stereo Track deleted. Ready.");
  EXPECT_EQ(form().ST01->foreColor(), kRed);
}

}  // namespace
}  // namespace transport_test
