// Start-up: the fixed path table, the file-existence test, and the load handler's checks, marks
// and state on a temporary drive root (the program's C:\).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
namespace fs = std::filesystem;

constexpr int32_t kRed = 255, kBlue = 0xFF0000;
constexpr const char* kModule = "DIGITAL RECORDING MODULE MISSING.";
constexpr const char* kSong = "Vemracd/Mysong/";

// An empty drive C: (the current directory reads "C:\"); no simulated clock. `answers` takes
// the first button of every box unless its queue says otherwise.
class StartupTest : public test_support::ProgramTest {
 protected:
  StartupTest() { simulatedClock_ = false; }

  void SetUp() override {
    ProgramTest::SetUp();
    fs::remove_all(root + "/Vemracd");
  }
  void TearDown() override {
    ProgramTest::TearDown();
    platform::configureOffline({});  // the device counts some cases change
  }

  // The program folder as installed: the templates, the request file and the mixdown program.
  void installKit() {
    for (const char* f : {"def", "def1", "Parms", "Mv01.exe"})
      put(std::string("Vemracd/") + f, 44);
    fs::create_directories(root + "/" + kSong);
  }
  void put(const std::string& rel, size_t bytes) {
    fs::create_directories(fs::path(root + "/" + rel).parent_path());
    std::ofstream(root + "/" + rel, std::ios::binary) << std::string(bytes, 'x');
  }
  bool exists(const std::string& rel) const { return fs::exists(root + "/" + rel); }

  // A fresh program (start-up not yet run).
  app::Application& make() {
    program = std::make_unique<app::Application>();
    return *program;
  }
  app::Application& start() {
    make().start();
    return *program;
  }
};

TEST_F(StartupTest, PathTableIsBuiltFromTheDriveLetterInFieldsExactlyAsWideAsThePaths) {
  make();
  shell::Shell& s = sh();
  s.drvletter = "D";
  s.MVinitialise();
  struct Want { const std::string& field; const char* text; };
  const Want want[] = {
      {s.t00fname, "D:\\Vemracd\\Mysong\\T00.wav"},
      {s.tkfname[0], "D:\\Vemracd\\Mysong\\T01.wav"},
      {s.tkfname[8], "D:\\Vemracd\\Mysong\\T09.wav"},
      {s.tkfname[27], "D:\\Vemracd\\Mysong\\T28.wav"},
      {s.blankwav, "D:\\Vemracd\\def"},
      {s.blankwav1, "D:\\Vemracd\\def1"},
      {s.mixerexe, "D:\\Vemracd\\Mv01.exe"},
      {s.songdir, "D:\\Vemracd\\Mysong"},
      {s.mixfname, "D:\\Vemracd\\Mysong\\Mix.wav"},
      {s.copymixfname, "D:\\Vemracd\\Mysong\\Copymix.wav"},
      {s.parmsfname, "D:\\Vemracd\\Parms"},
      {s.scratchfname, "D:\\Vemracd\\Mysong\\temp.wav"},
      {s.tempfname, "D:\\Vemracd\\Mysong\\temp"},
      {s.stfname, "D:\\Vemracd\\Mysong\\St.wav"},
      {s.spfname[0], "D:\\Vemracd\\Mysong\\SP01.wav"},
      {s.spfname[13], "D:\\Vemracd\\Mysong\\SP14.wav"},
      {s.setsfname, "D:\\Vemracd\\Mysong\\vsets"},
  };
  for (const Want& w : want) EXPECT_EQ(w.field, w.text);
  // Documented widths: no path is cut or padded.
  for (const auto& p : s.tkfname) EXPECT_EQ(p.size(), 25u);
  for (const auto& p : s.spfname) EXPECT_EQ(p.size(), 26u);
  EXPECT_EQ(s.parmsfname.size(), 16u);
  EXPECT_EQ(s.blankwav.size(), 14u);
  EXPECT_EQ(s.copymixfname.size(), 29u);
  EXPECT_EQ(s.stfname.size(), 24u);
}

TEST_F(StartupTest, FileExistsNeedsAReadableLengthAboveZero) {
  make();
  put("Vemracd/full", 1);
  put("Vemracd/empty", 0);
  const shell::Shell& s = sh();
  EXPECT_TRUE(s.FileExists("C:\\Vemracd\\full"));
  EXPECT_TRUE(s.FileExists("C:\\Vemracd\\full   "));  // a fixed-length field's blanks
  EXPECT_FALSE(s.FileExists("C:\\Vemracd\\empty"));
  EXPECT_FALSE(s.FileExists("C:\\Vemracd\\missing"));
  EXPECT_FALSE(s.FileExists("C:\\Vemracd"));  // a folder has no file length
  EXPECT_FALSE(s.FileExists(""));
}

TEST_F(StartupTest, SetsTheWindowThePageTheTablesAndTheStoppedTransport) {
  installKit();
  make();
  shell::MainForm& f = form();
  transport::Transport& tp = *program->system().transport;
  // State that start-up must reset, and rows 3 and 14 moved away from their design values.
  tp.setKbplay(1);
  tp.setPintime(3, 4);
  tp.setElapsecs(7);
  sh().trkvals.fill(9);
  f.PLAY->setForeColor(kRed);
  f.RPSTOP->setForeColor(0xFFFF);
  f.Elapset->setCaption("1:2:3");
  f.P[2]->setLeft(130.5);  // halves go to the even neighbour
  f.V[2]->setLeft(201.5);
  f.selrect[2]->setTag("  -12.5dB");  // read as a leading number
  f.wd[2]->setTag("loud");            // no number: 0
  f.P[13]->setLeft(99999);            // beyond 16 bits: held at the limit
  program->start();

  EXPECT_TRUE(answers.shown.empty());
  EXPECT_EQ(f.left(), 50);
  EXPECT_EQ(f.top(), 5);
  EXPECT_TRUE(f.keyPreview());
  EXPECT_FALSE(f.Label6->visible());
  EXPECT_FALSE(f.Shape15->visible());
  EXPECT_FALSE(f.recd->visible());
  EXPECT_EQ(f.t0114->foreColor(), 0xFFFFFF);
  EXPECT_EQ(sh().tipidx, 1);  // the first tip is shown

  EXPECT_EQ(sh().drvletter, "C");
  EXPECT_EQ(sh().tkfname[0], "C:\\Vemracd\\Mysong\\T01.wav");
  for (int t = 15; t <= 28; ++t)
    EXPECT_EQ(sh().trknames[t - 1], "Track" + std::to_string(t) + "  ");
  const auto& lt = sh().layouttab;
  for (int e = 0; e < 84; ++e) EXPECT_EQ(lt[e], 0) << e;
  auto row = [&](int m) {  // pan knob, volume knob, pan value, volume value of track 14 + m
    return std::vector<int>(lt.begin() + 80 + 4 * m, lt.begin() + 84 + 4 * m);
  };
  EXPECT_EQ(row(1), (std::vector<int>{168, 168, 0, -1500}));
  EXPECT_EQ(row(3), (std::vector<int>{130, 202, -12, 0}));
  EXPECT_EQ(lt[136], 32767);

  EXPECT_EQ(tp.kbplay(), 0);
  EXPECT_EQ(tp.pinmins(), 0);
  EXPECT_EQ(tp.pinsecs(), 0);
  EXPECT_EQ(tp.elapsecs(), 7);  // no T01.wav: the song clock is left alone
  for (int16_t v : sh().trkvals) EXPECT_EQ(v, 0);
  EXPECT_EQ(f.PLAY->foreColor(), 0xFFFF);
  EXPECT_EQ(f.RPSTOP->foreColor(), kRed);
  EXPECT_EQ(f.Elapset->caption(), "Elapsed");
  EXPECT_EQ(f.Punchins->caption(), "From");
  EXPECT_EQ(f.Umsg->caption(), "WELCOME - IF A FIRST TIME USER - PLEASE READ QUICKSTART AT "
                               "BOTTOM OF DISPLAY AND HELP.");
  EXPECT_EQ(program->var("drvletter"), "C");
  EXPECT_EQ(program->var("kbplay"), "0");
  EXPECT_EQ(program->var("keypreview"), "true");
}

TEST_F(StartupTest, OneSoundBoxWhenEitherDeviceIsMissingAndOneDisplayBoxBelow800By600) {
  installKit();
  const std::string sound = "SOUND NOT CONFIGURED";
  const std::string display = "DISPLAY NOT CONFIGURED TO 800 by 600";
  struct Case { int in, out, w, h; std::vector<std::string> titles; };
  const Case cases[] = {
      {1, 1, 800, 600, {}},          {0, 0, 800, 600, {sound}},     {0, 1, 800, 600, {sound}},
      {1, 0, 800, 600, {sound}},     {1, 1, 799, 600, {display}},   {1, 1, 800, 599, {display}},
      {0, 1, 640, 480, {sound, display}},
  };
  for (const Case& c : cases) {
    answers.shown.clear();
    platform::OfflineConfig cfg;
    cfg.inputDevices = c.in;
    cfg.outputDevices = c.out;
    platform::configureOffline(cfg);
    ui::setScreenSizeOverride(std::make_pair(c.w, c.h));
    start();
    EXPECT_EQ(answers.titles(), c.titles) << c.in << " " << c.out << " " << c.w << "x" << c.h;
    // Start-up carries on to the end after either box.
    EXPECT_EQ(form().Umsg->caption().rfind("WELCOME - IF A FIRST TIME USER - PLEASE", 0), 0u);
  }
  EXPECT_EQ(answers.shown.back().text,
            " Your display is set to : 640 x 480 - i need 800 x 600. Please exit by clicking x in "
            "top right corner and re-set display. Please see HELP.Txt.");
}

TEST_F(StartupTest, MarksRecordedTracksByExactNameAndTidiesTheSongFolder) {
  installKit();
  put(std::string(kSong) + "T01.wav", 100);
  put(std::string(kSong) + "t03.wav", 100);   // another letter case: not track 03
  put(std::string(kSong) + "T14.wav", 100);
  put(std::string(kSong) + "T15.wav", 100);   // page 15-28: not looked at now
  put(std::string(kSong) + "st.wav", 100);    // not the stereo track
  put(std::string(kSong) + "Mix.wav", 0);     // an empty master is no master
  put(std::string(kSong) + "Copymix.wav", 10);
  put(std::string(kSong) + "T00.wav", 0);     // empty: survives
  const std::string scratch[] = {"temp", ".temp.saving", "T01.new", "T01.keep", ".vsets.new",
                                 ".T01.wav.vemra-abc123", ".x.vemra-abc123", ".T01.wav.aB3xYz",
                                 ".T01.wav.backup", ".Mix.wav.backup"};  // from the 7th on: the user's
  for (const std::string& n : scratch) put(kSong + n, 10);
  const std::string copymix = root + "/" + kSong + "Copymix.wav";  // a running mixdown's
  ASSERT_TRUE(platform::fileOpen(platform::kMaxFileNumber, copymix, platform::OpenMode::ReadWrite));
  start();
  for (const std::string& n : scratch) EXPECT_EQ(exists(kSong + n), &n >= &scratch[6]) << n;
  shell::MainForm& f = form();
  EXPECT_TRUE(answers.shown.empty());
  for (int r = 1; r <= 14; ++r)
    EXPECT_EQ(f.R[r - 1]->foreColor(), r == 1 || r == 14 ? kBlue : kRed) << r;
  EXPECT_EQ(program->system().transport->elapsecs(), -1);
  EXPECT_EQ(f.ST01->foreColor(), kRed);
  EXPECT_NE(f.Mutemix->foreColor(), kRed);
  EXPECT_TRUE(exists(std::string(kSong) + "Copymix.wav"));
  EXPECT_TRUE(exists(std::string(kSong) + "T00.wav"));
  EXPECT_TRUE(exists(std::string(kSong) + "t03.wav"));
}

// A split cut short, or its settling cut short or one rename r/delete d failing: T01 T02 T01.new
// T02.new T01.keep (13/14 alike) before and after a start: o old, n new, a b k scratch, l a link
// to a file elsewhere, - none.
TEST_F(StartupTest, SettlesASplitCutShortByTheFilesPresent) {
  struct Row { int left; std::string before, fail, after; } rows[] = {
      {1, "ooa--", "", "oo---"}, {1, "ooab-", "", "oo---"}, {1, "ooabk", "", "oo---"},
      {1, "no-bk", "", "nn---"}, {1, "nn--k", "", "nn---"}, {1, "--ab-", "", "-----"},
      {1, "n--b-", "", "nn---"}, {1, "-oabk", "", "oo---"}, {13, "no-bk", "", "nn---"},
      {1, "no-bk", "rT02.new", "oo---"}, {1, "n--b-", "rT02.new", "-----"},
      {1, "ooab-", "dT02.new", "ooab-"}, {1, "ooabk", "dT01.new", "ooa-k"},
      {1, "-oabk", "rT01.keep", "-oabk"}, {1, "-o-bk", "", "oo---"}, {1, "oo-l-", "", "oo-l-"}};
  auto len = [](char c, int i) { return c == '-' ? -1 : c == 'l' ? 7 : (c == 'o' || c == 'k' ? 11 : 21) + i % 2; };
  const std::string dir = "C:\\Vemracd\\Mysong\\";
  for (const Row& r : rows) {
    const std::string l = r.left == 1 ? "T01" : "T13", t = r.left == 1 ? "T02" : "T14";
    const std::string name[5] = {l + ".wav", t + ".wav", l + ".new", t + ".new", l + ".keep"};
    installKit();
    for (int i = 0; i < 5; ++i)
      if (r.before[i] == 'l') put("elsewhere", 7), fs::create_symlink(root + "/elsewhere", root + "/" + kSong + name[i]);
      else if (r.before[i] != '-') put(kSong + name[i], len(r.before[i], i));
    if (!r.fail.empty())
      (r.fail[0] == 'r' ? platform::failOpenFor : platform::failDeleteFor)(dir + r.fail.substr(1));
    start();
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(platform::fileLen(dir + name[i]), len(r.after[i], i)) << r.before << r.fail << i;
    TearDown();
    SetUp();
  }
}

TEST_F(StartupTest, MarksTheStereoTrackAndTheMasterAndDeletesAFullScratchTrack) {
  installKit();
  put(std::string(kSong) + "St.wav", 100);
  put(std::string(kSong) + "Mix.wav", 100);
  put(std::string(kSong) + "T00.wav", 100);
  start();
  EXPECT_EQ(form().ST01->foreColor(), kBlue);
  EXPECT_EQ(form().Mutemix->foreColor(), kRed);
  EXPECT_EQ(form().Mutemix->backColor(), 0);
  EXPECT_EQ(form().R[0]->foreColor(), kRed);
  EXPECT_FALSE(exists(std::string(kSong) + "T00.wav"));
}

// A copy started while another holds the program folder shows one box and touches no file.
TEST_F(StartupTest, ASecondCopyOnTheProgramFolderChangesNothing) {
  installKit();
  start();
  for (const char* n : {"temp", "T01.new"}) put(kSong + std::string(n), 10);
  const auto second = [] { app::Application a; a.start(); return a.exitStatus(); };
  const std::string running = " VemraCd is already running with this program folder - nothing "
                              "was changed. Please close it first.";
  EXPECT_EQ(second(), 1);
  EXPECT_TRUE(exists(kSong + std::string("temp")) && exists(kSong + std::string("T01.new")));
  EXPECT_FALSE(program->finished() || platform::ending());
  EXPECT_EQ(answers.shown.size() == 1 ? answers.shown[0].text : "", running);
  EXPECT_FALSE(start().finished());  // the first one's end gave the folder back
  program.reset();  // a holder killed while it holds the folder gives it back too
  if (const pid_t pid = fork(); pid == 0) { platform::FolderHold held("C:\\Vemracd"); raise(SIGKILL); }
  else waitpid(pid, nullptr, 0);
  EXPECT_FALSE(start().finished());
  program.reset();  // a first copy that found no program folder made it and holds it
  fs::remove_all(root + "/Vemracd");
  start(), answers.shown.clear();
  EXPECT_EQ(second(), 1);
  EXPECT_EQ(answers.shown.size() == 1 ? answers.shown[0].text : "", running);
}

TEST_F(StartupTest, MakesTheSongFolderWhenOnlyTheProgramFolderIsThere) {
  installKit();
  fs::remove_all(root + "/Vemracd/Mysong");
  start();
  EXPECT_TRUE(fs::is_directory(root + "/Vemracd/Mysong"));
  EXPECT_TRUE(answers.shown.empty());
}

TEST_F(StartupTest, TheSettingsQuestionNeedsTheRequestFileAndASettingsFileWithContent) {
  // Parms missing or empty: its box, and start-up ends before the settings question even with
  // a settings file there.
  for (size_t parms : {size_t{0}, size_t{1}}) {
    installKit();
    fs::remove(root + "/Vemracd/Parms");
    if (parms) put("Vemracd/Parms", 0);
    put(std::string(kSong) + "vsets", 532);
    answers.shown.clear();
    start();
    EXPECT_EQ(answers.titles(), std::vector<std::string>{kModule});
  }
  // With Parms: the question only for a settings file longer than 0 bytes.
  struct Case { int bytes; bool asked; };
  for (const Case c : {Case{-1, false}, Case{0, false}, Case{1, true}, Case{532, true}}) {
    installKit();
    fs::remove(root + "/" + kSong + "vsets");
    if (c.bytes >= 0) put(std::string(kSong) + "vsets", static_cast<size_t>(c.bytes));
    answers.shown.clear();
    answers.queue = {ui::kNo};
    start();
    ASSERT_EQ(answers.shown.size(), c.asked ? 1u : 0u) << c.bytes;
    if (c.asked) {
      EXPECT_EQ(answers.shown[0].title, " Load vsets ?");
      EXPECT_EQ(answers.shown[0].buttons, ui::kYesNo);
    }
    EXPECT_EQ(form().N[0]->text(), "Track01");  // No keeps the designed names
    answers.queue.clear();
  }
}

}  // namespace
