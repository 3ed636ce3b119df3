// The range editor's workers on small track files, compared byte for byte: deletion through the
// deletion device (its exact commands, the shortened file, a failed save), silence, reverse,
// boost and cut, their refusals and limits, and the button's guards and emptied boxes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/mci.h"
#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
namespace colour = ui::colour;
using test_support::ProgramTest;
using Samples = std::vector<int16_t>;

class RangeEditorTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    samples.resize(200);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 7 - 500);
  }
  void put(int n, const Samples& s) { test_support::writeAll(track(n), test_support::wavFile(1, s)); }
  Samples read(int n) {
    auto b = test_support::readAll(track(n));
    Samples s((b.size() - 44) / 2);
    std::memcpy(s.data(), b.data() + 44, s.size() * 2);
    return s;
  }
  // Fills the boxes and clicks the button; returns the text of the box shown, "" for none.
  std::string run(ui::Label* button, const std::string& si, const std::string& so,
                  const std::string& src = "3", const std::string& b = "", const std::string& c = "") {
    auto& f = form();
    f.siv->setText(si);
    f.sov->setText(so);
    f.srct->setText(src);
    f.bvol->setText(b);
    f.cvol->setText(c);
    const size_t before = answers.shown.size();
    button->click();
    return answers.shown.size() > before ? answers.shown.back().text : "";
  }
  Samples samples;
};

TEST_F(RangeEditorTest, InPlaceWorkersChangeExactlyTheirSamples) {
  struct Case {
    const char* name;
    ui::Label* shell::MainForm::*button;
    const char *si, *so, *b, *c;
    std::vector<std::pair<size_t, int16_t>> set;  // samples given before
    std::vector<std::pair<size_t, int16_t>> expect;  // samples changed after
    const char* msg;
  };
  const Case cases[] = {
      {"SR 10..12", &shell::MainForm::rgesrl, "10", "12", "", "", {}, {{10, 0}, {11, 0}, {12, 0}},
       " Silence range of samples done. Ready."},
      {"RR 20..25", &shell::MainForm::rgervl, "20", "25", "", "",
       {{20, 1}, {21, 2}, {22, 3}, {23, 4}, {24, 5}, {25, 6}},
       {{20, 6}, {21, 5}, {22, 4}, {23, 3}, {24, 2}, {25, 1}}, " Reverse range of samples done. Ready."},
      {"V+50", &shell::MainForm::vptl, "30", "33", "50", "", {{30, 21840}, {31, -21840}, {32, 3}, {33, 100}},
       {{30, 32760}, {31, -32760}, {32, 4}}, " Sample range volume boost done. Ready."},
      {"V-50", &shell::MainForm::vmtl, "40", "42", "", "50", {{40, -101}, {41, 150}, {42, 9}},
       {{40, -51}, {41, 75}}, " Sample range volume cut done. Ready."},
      {"V-1", &shell::MainForm::vmtl, "40", "41", "", "1", {{40, 150}}, {{40, 148}},
       " Sample range volume cut done. Ready."},
      {"SA 150", &shell::MainForm::rgesall, "150", "", "", "", {}, {}, " Silence of samples done. Ready."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Samples in = samples;
    for (auto [i, v] : c.set) in[i] = v;
    put(3, in);
    if (!program) startProgram();
    Samples want = in;
    for (auto [i, v] : c.expect) want[i] = v;
    if (std::string(c.name) == "SA 150")
      for (size_t i = 150; i < want.size(); ++i) want[i] = 0;
    EXPECT_EQ(run(form().*c.button, c.si, c.so, "3", c.b, c.c), "");
    EXPECT_EQ(read(3), want);
    EXPECT_EQ(test_support::readAll(track(3)).size(), 44 + 2 * want.size());
    EXPECT_EQ(form().Umsg->caption(), c.msg);
    EXPECT_EQ(form().pointer(), ui::Pointer::Arrow);
  }
}

TEST_F(RangeEditorTest, RefusalsShowTheirTextAndLeaveTheFileByteIdentical) {
  Samples in = samples;
  in[50] = 21841;
  put(3, in);
  startProgram();
  const auto before = test_support::readAll(track(3));
  auto& f = form();
  struct Case { ui::Label* button; const char *si, *so, *src, *b, *c, *text; };
  const Case cases[] = {
      {f.vptl, "49", "52", "3", "50", "", " The boost value entered would mean a distorted result. Please Re-try."},
      {f.vptl, "1", "5", "3", "50", "20", " You clicked boost or cut - but incorrect amt entered. Please Re-try."},
      {f.vmtl, "1", "5", "3", "", "", " You clicked boost or cut - but incorrect amt entered. Please Re-try."},
      {f.vmtl, "1", "5", "3", "0", "100", " You clicked boost or cut - but incorrect amt entered. Please Re-try."},
      {f.vmtl, "1", "5", "3", "", "1e9", " You clicked boost or cut - but incorrect amt entered. Please Re-try."},
      {f.vptl, "1", "5", "3", "5e-1", "", " You clicked boost or cut - but incorrect amt entered. Please Re-try."},
      {f.vmtl, "1", "5", "29", "", "10", " You clicked boost or cut - but start/end or percent incorrect. Please Re-try. "},
      {f.vmtl, "", "5", "3", "", "10", " You clicked boost or cut - but start/end or percent incorrect. Please Re-try. "},
      {f.rgesrl, "-1", "5", "3", "", "", " start sample less than zero. Please Re-try."},
      {f.rgedrl, "5", "5", "3", "", "", " end sample less than or equal to start. Please Re-try."},
      {f.rgervl, "200", "205", "3", "", "", " start sample past end of track. Please Re-try. Track is 200 samples long."},
      {f.rgesrl, "10", "200", "3", "", "", " end sample past end of track. Please Re-try. Track is 200 samples long."},
      {f.rgesall, "200", "", "3", "", "", " start sample past end of track. Please Re-try. Track is 200 samples long."},
      {f.rgedall, "0", "", "3", "", "", " start sample past end of track. Please Re-try. Track is 200 samples long."},
      {f.rgesrl, "1", "5", "4", "", "", " Track in From box does not exist. Please Re-try."},
      {f.rgesrl, "1", "5", "2.5", "", "", " Track in From box does not exist. Please Re-try."},
      {f.rgesrl, "x", "5", "3", "", "", " Start or end sample is not a number. Please Re-try."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.si) + ".." + c.so + " " + c.text);
    EXPECT_EQ(run(c.button, c.si, c.so, c.src, c.b, c.c), c.text);
    EXPECT_EQ(test_support::readAll(track(3)), before);
    EXPECT_EQ(f.pointer(), ui::Pointer::Arrow);
    // The boxes are emptied whether the worker refused or not; the track boxes stay.
    EXPECT_EQ(f.siv->text() + f.sov->text() + f.bvol->text() + f.cvol->text(), "");
    EXPECT_EQ(f.srct->text(), c.src);
  }
}

TEST_F(RangeEditorTest, TheMinuteAndFourMinuteLimits) {
  put(3, Samples(2690002, 5));
  startProgram();
  EXPECT_EQ(run(form().rgesrl, "0", "2690001", "3"), " Sample range greater than a minute. Please Re-try.");
  EXPECT_EQ(read(3)[0], 5);
  EXPECT_EQ(run(form().rgesrl, "1", "2690001", "3"), "");
  const Samples s = read(3);
  EXPECT_EQ(s[0], 5);
  EXPECT_EQ(s[1], 0);
  EXPECT_EQ(s[2690001], 0);
  // Silence to the end takes tracks up to 244 seconds.
  put(3, Samples(10760401, 5));
  EXPECT_EQ(run(form().rgesall, "10760000", "", "3").substr(0, 38), " Track is very long for processing. 4 ");
  EXPECT_EQ(read(3).back(), 5);
  put(3, Samples(10760400, 5));
  EXPECT_EQ(run(form().rgesall, "10760000", "", "3"), "");
  EXPECT_EQ(read(3)[10759999], 5);
  EXPECT_EQ(read(3).back(), 0);
}

TEST_F(RangeEditorTest, DeleteRangeSendsTheFiveCommandsAndLeavesTheTrackWithoutTheRange) {
  Samples in(5 * 44100);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<int16_t>(i % 30000);
  put(3, in);
  startProgram();
  platform::mciClearCommandLog();
  EXPECT_EQ(run(form().rgedrl, "88200", "132300", "3"), "");
  const std::string p = sh().tkfname[2];
  EXPECT_EQ(platform::mciCommandLog(),
            (std::vector<std::string>{"open " + p + " alias capdel ",
                                      " delete capdel From 2000 to 3000", "stop capdel ",
                                      " save capdel " + sh().tempfname, "close capdel "}));
  Samples want(in.begin(), in.begin() + 88200);
  want.insert(want.end(), in.begin() + 132300, in.end());
  EXPECT_EQ(test_support::readAll(track(3)), test_support::wavFile(1, want));
  EXPECT_FALSE(std::filesystem::exists(song() / "temp"));
  EXPECT_EQ(form().Umsg->caption(), " Sample range delete (cut) done. Ready.");

  // DA from 0 keeps the first second.
  EXPECT_EQ(run(form().rgedall, "0", "", "3"), "");
  EXPECT_EQ(test_support::readAll(track(3)),
            test_support::wavFile(1, Samples(want.begin(), want.begin() + 44100)));
}

TEST_F(RangeEditorTest, AFailedSaveLeavesTheTrackIntactAndNoTemp) {
  put(3, Samples(3 * 44100, 9));
  startProgram();
  const auto before = test_support::readAll(track(3));
  // A FIFO in the save's place makes it fail, never wait.
  ASSERT_EQ(::mkfifo((song() / ".temp.saving").c_str(), 0644), 0);
  EXPECT_EQ(run(form().rgedrl, "44100", "88200", "3"),
            " The delete could not be done - the track is as it was. Please Re-try.");
  EXPECT_EQ(test_support::readAll(track(3)), before);
  EXPECT_EQ(platform::mciCommandLog().back(), "close capdel ");
  EXPECT_EQ(form().pointer(), ui::Pointer::Arrow);
  // A temp that another running program holds fails the delete and stays.
  ASSERT_TRUE(std::filesystem::remove(song() / ".temp.saving"));
  ASSERT_TRUE(platform::fileOpen(9, (song() / "temp").native(), platform::OpenMode::ReadWrite));
  EXPECT_NE(run(form().rgedrl, "44100", "88200", "3"), "");
  EXPECT_TRUE(std::filesystem::exists(song() / "temp") && test_support::readAll(track(3)) == before);
}

TEST_F(RangeEditorTest, ButtonsDoNothingWithoutSourceTrackOrWhilePlaying) {
  put(3, samples);
  startProgram();
  const auto before = test_support::readAll(track(3));
  EXPECT_EQ(run(form().rgesrl, "1", "5", ""), "");
  EXPECT_EQ(form().siv->text(), "1");  // nothing at all, boxes included
  form().PLAY->setForeColor(colour::kRed);
  EXPECT_EQ(run(form().rgesrl, "1", "5", "3"), "");
  form().PLAY->setForeColor(colour::kYellow);
  EXPECT_EQ(test_support::readAll(track(3)), before);
}

}  // namespace

namespace {

class RangePasteTest : public RangeEditorTest {
 protected:
  // Runs PR from source track 3 range si..so onto track `to` at `pt`.
  std::string paste(const std::string& si, const std::string& so, const std::string& pt,
                    const std::string& to, const std::string& iv = "", const std::string& rp = "",
                    const std::string& bpm = "", const std::string& mins = "") {
    auto& f = form();
    f.ptv->setText(pt);
    f.tov->setText(to);
    f.intervalval->setText(iv);
    f.repeatval->setText(rp);
    f.bpmv->setText(bpm);
    f.bpminv->setText(mins);
    return run(f.rgepdl, si, so, "3");
  }
  // `in` with copies of in[si..si+n] (from track 3's `src`) at each of `at`.
  static Samples copies(Samples in, const Samples& src, size_t si, size_t n, std::vector<size_t> at) {
    for (size_t a : at) {
      if (in.size() < a + n + 1) in.resize(a + n + 1, 0);
      std::copy(src.begin() + si, src.begin() + si + n + 1, in.begin() + a);
    }
    return in;
  }
};

TEST_F(RangePasteTest, SingleRepeatedAndBeatPastesWriteTheirCopies) {
  Samples src(300);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<int16_t>(1000 + i);
  put(3, src);
  put(4, Samples(20000, 0));
  put(5, Samples(2 * 2646000 + 1, 0));
  startProgram();
  const Samples dst(20000, 0), beats(2 * 2646000 + 1, 0);
  struct Case {
    const char* name;
    int to;
    const char *pt, *iv, *rp, *bpm, *mins;
    std::vector<size_t> at;
  };
  const Case cases[] = {
      {"single", 4, "100", "", "", "", "", {100}},
      {"single at the last sample grows the track", 4, "19999", "", "", "", "", {19999}},
      {"interval 1000 > n: copies 1000 apart", 4, "0", "1000", "3", "", "", {0, 1000, 2000}},
      {"interval 50 <= n: copies n + 50 apart", 4, "10", "50", "2", "", "", {10, 160}},
      {"120 bpm, empty minutes: 120 copies a beat apart", 5, "0", "9", "9", "120", "", {}},
      {"120 bpm, 2 minutes", 5, "0", "", "", "120", "2", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(4, dst);
    put(5, beats);
    std::vector<size_t> at = c.at;
    if (at.empty()) {
      const size_t count = std::string(c.mins) == "2" ? 240 : 120;
      for (size_t j = 0; j < count; ++j) at.push_back(j * 22050);
    }
    EXPECT_EQ(paste("10", "110", c.pt, std::to_string(c.to), c.iv, c.rp, c.bpm, c.mins), "");
    const Samples want = copies(c.to == 4 ? dst : beats, src, 10, 100, at);
    EXPECT_EQ(test_support::readAll(track(c.to)), test_support::wavFile(1, want));
    EXPECT_EQ(form().Umsg->caption(), " Paste range of samples done. Ready.");
    EXPECT_EQ(form().bpminv->text(), "");
  }
}

TEST_F(RangePasteTest, RefusalsLeaveTheDestinationByteIdentical) {
  put(3, Samples(300, 4));
  put(4, Samples(15000, 0));
  put(5, Samples(2646000, 0));
  startProgram();
  const auto d4 = test_support::readAll(track(4)), d5 = test_support::readAll(track(5));
  const std::string none =
      " Track trying to paste to does not exist, please record a blank track first to paste to. ";
  struct Case { const char *pt, *to, *iv, *rp, *bpm, *mins, *text; };
  const Case cases[] = {
      {"0", "0", "", "", "", "", none.c_str()},
      {"0", "29", "", "", "", "", none.c_str()},
      {"0", "4.5", "", "", "", "", none.c_str()},
      {"0", "6", "", "", "", "", none.c_str()},  // no such file
      {"-1", "4", "", "", "", "", " paste to sample less than zero. Please Re-try."},
      {"15000", "4", "", "", "", "", " Cant paste beyond end of track T4  Sorry. Please create a longer track to paste to. Track is 15000 samples long."},
      {"0", "4", "882001", "1", "", "", " Interval box not in range 1 to 882000. Please Re-try."},
      {"0", "4", "1", "88889", "", "", " No of pastes box not in range 1 to 88888. Please Re-try."},
      // Copies 5,000 apart three times need 15,000 samples: a track of 15,000 is too short.
      {"0", "4", "5000", "3", "", "", " Interval and no of pastes entered mean pasting past end of track T4 . Please record a longer blank track. Please Re-try. Track is 15000 samples long."},
      {"0", "5", "", "", "601", "", " BPM not in range 2 to 600. Please Re-try."},
      {"0", "5", "", "", "120", "", " BPM/mins combo would mean paste beyond end of track T5  Please create a longer track to paste to or try fewer minutes. Track is 2646000 samples long."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.to) + " " + c.text);
    EXPECT_EQ(paste("0", "100", c.pt, c.to, c.iv, c.rp, c.bpm, c.mins), c.text);
    EXPECT_EQ(test_support::readAll(track(4)), d4);
    EXPECT_EQ(test_support::readAll(track(5)), d5);
  }
  // No room for a copy past the end (a full disk, as a limit on file sizes): nothing is written.
  rlimit was{};
  ::getrlimit(RLIMIT_FSIZE, &was);
  const rlimit full{d4.size(), was.rlim_max};
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &full);
  EXPECT_EQ(paste("0", "100", "14950", "4"), " The track file could not be read or written. Please Re-try.");
  ::setrlimit(RLIMIT_FSIZE, &was);
  EXPECT_EQ(test_support::readAll(track(4)), d4);
  // One sample more and three copies fit.
  put(4, Samples(15001, 0));
  EXPECT_EQ(paste("0", "100", "0", "4", "5000", "3"), "");
}

TEST_F(RangePasteTest, OnlyAPlainTrackIsEditedAndOnlyAPlainSampleIsPasted) {
  const std::string t4 = " Track 04 is not a plain 44.1 kHz 16-bit mono WAV track - it was not changed. Please Re-try.|", no = " is not a plain 44.1 kHz 16-bit mono WAV - nothing was pasted. Please Re-try.|";
  put(3, samples), startProgram(), form().lsp[0]->click();
  // Stereo, 8, 24, 32 bits, float, 22,050 Hz, a LIST chunk, an 18-byte fmt, a cut header, chunks after the sound (id3 after 4 s, LIST after an odd size's pad): DR, PR past the end, a drag, PR from T04, the sample paste.
  struct Row { size_t at; int v; std::string chunk; size_t after = 0; };  // after: the chunk follows this many samples
  const Row rows[] = {{22, 2, ""}, {34, 8, ""}, {34, 24, ""}, {34, 32, ""}, {20, 3, ""}, {24, 22050, ""},
      {20, 1, std::string("LIST\x1a\0\0\0INFOISFT\x0e\0\0\0Lavf58.76.100\0", 34)}, {16, 18, std::string(2, '\0')}, {30, 0, ""},
      {34, 16, std::string("id3 \0\x80\1\0", 8) + std::string(98304, 'x'), 176400}, {40, 399, std::string("LIST\5\0\0\0INFOx\0", 14), 200}};
  for (std::string shown; auto [at, v, chunk, after] : rows) {
    auto bad = test_support::wavFile(1, after ? Samples(after, 300) : samples);
    bad[at] = uint8_t(v), bad[at + 1] = uint8_t(v >> 8), bad.insert(after ? bad.end() : bad.begin() + 36, chunk.begin(), chunk.end()), bad.resize(at == 30 ? 30 : bad.size());
    test_support::writeAll(track(4), bad), test_support::writeAll(song() / "SP01.wav", bad), answers.shown.clear(), shown.clear();
    run(form().rgedrl, "10", "20", "4"), paste("0", "100", "199", "4"), wv().curtrkfile = sh().tkfname[3], wv().wavpage = 1;
    wv().dragstate = 2, wv().selwidth = 10, wv().do3sec_mseup(), form().tov->setText("3"), form().ptv->setText("0"), run(form().rgepdl, "0", "10", "4");
    for (int to : {4, 3}) wv().curtrkfile = sh().tkfname[to - 1], wv().clicksmp = 190, wv().extdo();  // SP01 onto T04, T03
    for (const auto& box : answers.shown) shown += box.text + "|";
    EXPECT_EQ(shown, t4 + t4 + t4 + " T04.wav" + no + t4 + " SP01.wav" + no);
    EXPECT_TRUE(test_support::readAll(track(4)) == bad && read(3) == samples);  // both byte-identical
  }
  for (uint32_t size : {0xFFFFFFFFu, 100u}) {  // a streamed size, one short of the file: no chunk there, still editable
    put(4, samples), std::fstream(track(4), std::ios::in | std::ios::out | std::ios::binary).seekp(40).write(reinterpret_cast<const char*>(&size), 4);
    EXPECT_EQ(run(form().rgesrl, "150", "199", "4"), "");
  }
  // A read-only T04 (DR, SR, PR, the drag, the sample paste), a link to a file elsewhere, a second name of one.
  const auto out = song().parent_path() / "out.wav", t = track(4);
  const std::string ro = " Track 04 is read-only - it was not changed. Please Re-try.|", ln = " Track 04 is a link to another file - it was not changed. Please Re-try.|";
  for (int kind : {0, 1, 2}) {
    std::filesystem::remove(t), test_support::writeAll(out, test_support::wavFile(1, samples)), answers.shown.clear();
    kind == 0 ? std::filesystem::rename(out, t), std::filesystem::permissions(t, std::filesystem::perms{0444}) : kind == 1 ? std::filesystem::create_symlink(out, t) : std::filesystem::create_hard_link(out, t);
    run(form().rgedrl, "10", "20", "4"), run(form().rgesrl, "10", "20", "4"), paste("0", "100", "199", "4"), wv().curtrkfile = sh().tkfname[3], wv().dragstate = 2, wv().do3sec_mseup(), wv().extdo();
    std::string shown;
    for (const auto& box : answers.shown) shown += box.text + "|";
    EXPECT_EQ(shown, kind ? ln + ln + ln + ln + ln : ro + ro + ro + ro + ro);
    EXPECT_TRUE(test_support::readAll(kind ? out : t) == test_support::wavFile(1, samples) && (kind || std::filesystem::status(t).permissions() == std::filesystem::perms{0444}));
  }
}

TEST_F(RangePasteTest, ABeatPasteCountsThePasteToSample) {
  put(3, Samples(300, 4));
  put(5, Samples(2646000 + 500, 0));
  startProgram();
  const auto before = test_support::readAll(track(5));
  // One minute of beats from sample 1,000 would end past the track's 2,646,500 samples.
  EXPECT_EQ(paste("0", "100", "1000", "5", "", "", "120", "1").substr(0, 30), " BPM/mins combo would mean pas");
  EXPECT_EQ(test_support::readAll(track(5)), before);
  EXPECT_EQ(paste("0", "100", "400", "5", "", "", "120", "1"), "");
}

}  // namespace
