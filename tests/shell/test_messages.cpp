// The message line, the tips line, MONO, and the top strip's buttons: the options menu's
// outside programs (started for real: small scripts stand in for the desktop programs and the
// audio editor and record the argv they got), the editor path in Parms, the tips page and the
// new-features box.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/shell.h"
#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
namespace fs = std::filesystem;

// Keeps every box; answers input boxes and menus from `answers` (empty: Cancel / dismissed),
// boxes with OK.
class QueueResponder : public test_support::LoggingResponder {
 public:
  std::deque<std::string>& answers = texts;
};

class MessagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::ensureApplication(); }

  void SetUp() override {
    drive.emplace("vmsg", "/tmp");  // short: a host path must fit the editor field
    root = drive->path().string();
    fs::create_directories(root + "/Vemracd/Mysong");
    log = root + "/started.log";
    platform::setDesktopPrograms({recorder("bin/texteditor"), recorder("bin/filemanager"),
                                  recorder("bin/soundmixer"), recorder("bin/urlopener")});
    ui::setResponder(&responder);
    program = std::make_unique<app::Application>();
    sh = program->system().shell;
    form = &program->mainForm();
    // The path table as start-up builds it for drive C.
    sh->drvletter = "C";
    sh->parmsfname = "C:\\Vemracd\\Parms";
  }

  void TearDown() override {
    program.reset();
    ui::setResponder(nullptr);
    platform::pollChildren();  // reaps the programs that have ended
    platform::resetDesktopPrograms();
    drive.reset();
  }

  // An executable script under the drive root that appends "NAME [arg] [arg]..." to the log in
  // one write. Returns its host path.
  std::string recorder(const std::string& rel) {
    const std::string path = root + "/" + rel;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "#!/bin/sh\nline='" << fs::path(rel).filename().string()
                        << "'\nfor a in \"$@\"; do line=\"$line [$a]\"; done\n"
                        << "printf '%s\\n' \"$line\" >> '" << log << "'\n";
    chmod(path.c_str(), 0755);
    return path;
  }

  std::vector<std::string> started() const {
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }

  // Waits (bounded, in real time: the programs are real processes) until `count` programs have
  // written their line, and returns the lines.
  std::vector<std::string> waitStarted(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (started().size() < count && std::chrono::steady_clock::now() < deadline) {
      platform::pollChildren();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return started();
  }

  // Parms of `size` bytes, byte i holding 'a' + i % 26, so untouched bytes are recognisable.
  void writeParms(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    writeParmsBytes(bytes);
  }
  void writeParmsBytes(const std::string& bytes) {
    std::ofstream(root + "/Vemracd/Parms", std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string parms() const {
    std::ifstream in(root + "/Vemracd/Parms", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Types `path` into the S box.
  void setEditor(const std::string& path) {
    responder.answers.push_back(path);
    form->S->click();
  }

  std::optional<test_support::TempDrive> drive;
  std::string root, log;
  QueueResponder responder;
  std::unique_ptr<app::Application> program;
  shell::Shell* sh = nullptr;
  shell::MainForm* form = nullptr;
};

TEST_F(MessagesTest, TipsStepThroughFortyThreeTipsAndWrap) {
  EXPECT_EQ(program->var("tipidx"), "0");
  sh->tiplbl_Click();  // start-up's call
  const std::string first = form->tiplbl->caption();
  EXPECT_EQ(first,
            "QUICKSTART: R01 to record Tk01. STOP to Stop. 02 to 28 the same. PLAY plays. Click me "
            "for tips.");
  EXPECT_EQ(program->var("tipidx"), "1");

  std::vector<std::string> seen{first};
  for (int i = 1; i < shell::Shell::kTips; ++i) {
    form->tiplbl->click();
    seen.push_back(form->tiplbl->caption());
  }
  EXPECT_EQ(seen[1], " To display or solo waveform - click tracks F button.");
  EXPECT_EQ(seen[17], "Can use F1 to F12 for delayed recording. ");  // trailing blank kept
  EXPECT_EQ(seen[42], " If you got this far - your obviously a true professional. Enjoy Vemra.");
  EXPECT_EQ(program->var("tipidx"), "0");
  form->tiplbl->click();  // the 43rd click after start-up: the first tip again
  EXPECT_EQ(form->tiplbl->caption(), first);

  sh->tipidx = 97;  // out of range: starts over rather than reading past the table
  form->tiplbl->click();
  EXPECT_EQ(form->tiplbl->caption(), first);
  EXPECT_EQ(sh->tipidx, 1);
}

TEST_F(MessagesTest, MessageLineAndMonoSwitch) {
  form->Umsg->setCaption(" STOPPED. Ready.");
  form->Umsg->click();
  EXPECT_EQ(form->Umsg->caption(), " VemraCd Version 4.3. Ready.");

  EXPECT_EQ(program->var("monoon"), "false");
  form->monolbl->click();
  EXPECT_EQ(form->monolbl->foreColor(), ui::colour::kRed);
  EXPECT_TRUE(sh->monoon());
  EXPECT_EQ(program->var("monoon"), "true");
  form->monolbl->click();
  EXPECT_EQ(form->monolbl->foreColor(), ui::colour::kBlack);
  EXPECT_FALSE(sh->monoon());
  form->monolbl->setForeColor(ui::colour::kBlue);  // neither on nor off: left alone
  form->monolbl->click();
  EXPECT_EQ(form->monolbl->foreColor(), ui::colour::kBlue);
  EXPECT_FALSE(sh->monoon());
}

TEST_F(MessagesTest, OptionsMenuStartsTheDesktopProgramsByArgv) {
  form->old->click();
  ASSERT_EQ(responder.shown.size(), 1u);
  EXPECT_EQ(responder.shown[0].type, ui::BoxRecord::PopupMenu);
  EXPECT_EQ(responder.shown[0].text,
            "1. Display External audio editor - for advanced editing.|"
            "2. Display Windows mixer - for mixer settings.|"
            "3. Display Windows explorer - for copying tracks/mixes.|"
            "4. Display Notepad - for session notes.");

  for (const char* item : {"mnuwmix", "mnuwexp", "mnuwnote"}) {
    responder.answers.push_back(item);
    form->old->click();
  }
  form->netdoc->click();
  auto lines = waitStarted(4);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "filemanager [" + root + "]",
                       "soundmixer",
                       "texteditor",
                       "urlopener [file://" + root + "/Vemracd/Tips.htm]",
                   }));
}

TEST_F(MessagesTest, GuardsWhilePlayingRecordingOrMasterPlays) {
  writeParms(284);
  const std::string before = parms();
  auto checkRefused = [&](const char* why) {
    SCOPED_TRACE(why);
    form->old->click();
    responder.answers.push_back("C:\\x");
    form->S->click();
    form->Newsng->click();
    EXPECT_TRUE(responder.shown.empty());
    responder.answers.clear();
    EXPECT_EQ(parms(), before);
  };
  form->PLAY->setForeColor(ui::colour::kRed);
  checkRefused("PLAY red");
  form->PLAY->setForeColor(ui::colour::kYellow);
  program->system().transport->setMixplaying(true);
  checkRefused("master plays");
  program->system().transport->setMixplaying(false);

  // Tips html is refused only while recording: of the two clicks only the second starts it.
  program->system().transport->setRecbusy(true);
  form->netdoc->click();
  program->system().transport->setRecbusy(false);
  form->PLAY->setForeColor(ui::colour::kRed);  // playing does not stop it
  form->netdoc->click();
  EXPECT_EQ(waitStarted(1).size(), 1u);
  EXPECT_EQ(started()[0].rfind("urlopener", 0), 0u);

  // The menu's items themselves have no guard (the menu cannot be opened while PLAY is red).
  form->mnuwnote->click();
  EXPECT_EQ(waitStarted(2).size(), 2u);
}

TEST_F(MessagesTest, NewFeaturesBox) {
  form->Newsng->click();
  ASSERT_EQ(responder.shown.size(), 1u);
  EXPECT_EQ(responder.shown[0].title, " VemraCd V 4.2/V4.3 - New Features.");
  const std::string& text = responder.shown[0].text;
  EXPECT_EQ(text.rfind(" 1. New mixer display screen.\n 2. T01 to T14", 0), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
  EXPECT_TRUE(text.ends_with("Direct X 6.1, full duplex sound."));
  EXPECT_NE(text.find("\n     left click on buttons for back/fwd by seconds"), std::string::npos);
}

TEST_F(MessagesTest, EditorPathIsTheWholeFieldBlankPadded) {
  writeParms(284);
  const std::string original = parms();
  auto field = [&] { return parms().substr(192, 25); };

  setEditor("C:\\Audio Tools\\Éditeur1.sh");  // 26 characters: refused, Parms untouched
  ASSERT_EQ(responder.shown.size(), 2u);
  EXPECT_EQ(responder.shown[0].type, ui::BoxRecord::Input);
  EXPECT_EQ(responder.shown[0].title, "ENTER AUDIO EDITOR PATH.");
  EXPECT_TRUE(responder.shown[0].text.ends_with(
      "eg C:\\Wave\\Editor.exe  After entering - click the O box to call editor at any point."));
  EXPECT_EQ(responder.shown[0].defaultText, "");
  EXPECT_EQ(responder.shown[1].type, ui::BoxRecord::Box);
  EXPECT_EQ(responder.shown[1].title, "ENTER AUDIO EDITOR PATH.");
  EXPECT_EQ(responder.shown[1].text, " The editor path can be at most 25 characters long - it was "
                                     "not saved. Please Re-try.");
  EXPECT_EQ(parms(), original);
  setEditor("C:\\Audio Tools\\Éditeur.sh");  // 25 characters (26 bytes typed): the whole field
  EXPECT_EQ(responder.shown.size(), 3u);
  EXPECT_EQ(field(), "C:\\Audio Tools\\\xC9" "diteur.sh");

  setEditor("C:\\ed.sh");  // shorter: no tail of the longer one left behind
  EXPECT_EQ(field(), "C:\\ed.sh                 ");
  // Only the field changed; the file keeps its length.
  std::string expected = original;
  expected.replace(192, 25, field());
  EXPECT_EQ(parms(), expected);

  setEditor("");  // an empty answer and Cancel write nothing
  form->S->click();
  EXPECT_EQ(parms(), expected);

  setEditor("C:\\Büro\\é.sh");  // one byte a character in the file
  EXPECT_EQ(field(), std::string("C:\\B\xFCro\\\xE9.sh") + std::string(13, ' '));

  // Without Parms the box is not even shown.
  fs::remove(root + "/Vemracd/Parms");
  responder.shown.clear();
  form->S->click();
  EXPECT_TRUE(responder.shown.empty());
  EXPECT_FALSE(fs::exists(root + "/Vemracd/Parms"));
}

TEST_F(MessagesTest, EditorItemRunsThePathFromParms) {
  recorder("My Tools/ed it.sh");
  recorder("Büro/é.sh");
  writeParms(284);

  // A path with blanks is one program, run by argv with no arguments.
  setEditor("C:\\My Tools\\ed it.sh");
  responder.answers.push_back("mnuedit");
  form->old->click();
  EXPECT_EQ(waitStarted(1), std::vector<std::string>{"ed it.sh"});

  // Characters outside ASCII survive the round trip through the file's code page.
  setEditor("C:\\Büro\\é.sh");
  form->mnuedit->click();
  EXPECT_EQ(waitStarted(2).back(), "é.sh");

  // A host absolute path passes through.
  recorder("h.sh");
  ASSERT_LE(root.size() + 5, 25u);
  setEditor(root + "/h.sh");
  form->mnuedit->click();
  EXPECT_EQ(waitStarted(3).back(), "h.sh");
}

TEST_F(MessagesTest, EditorItemDoesNothingWithoutAProgram) {
  // Each refused case is followed by a started program; only that one may show in the log.
  size_t expected = 0;
  auto refuses = [&](const char* why) {
    SCOPED_TRACE(why);
    form->mnuedit->click();
    form->mnuwnote->click();
    const auto lines = waitStarted(++expected);
    ASSERT_EQ(lines.size(), expected);
    EXPECT_EQ(lines.back(), "texteditor");
  };
  recorder("ed.sh");

  refuses("no Parms");
  writeParms(284);
  refuses("a path that names no file");
  writeParmsBytes(std::string(284, '\0'));  // a request file made by a mixdown: zero bytes
  refuses("zero bytes");
  writeParmsBytes(std::string(150, ' '));  // too short to reach the field
  refuses("short Parms");
  std::ofstream(root + "/readme.txt") << "text";  // a file, but no program
  writeParmsBytes(std::string(192, ' ') + "C:\\readme.txt" + std::string(12, ' '));
  refuses("not executable");
  writeParmsBytes("");
  refuses("empty Parms");

  // A Parms that ends inside the field gives what it holds.
  writeParmsBytes(std::string(192, ' ') + "C:\\ed.sh");
  form->mnuedit->click();
  EXPECT_EQ(waitStarted(expected + 1).back(), "ed.sh");
}

TEST_F(MessagesTest, DesktopProgramMissingDoesNothing) {
  platform::setDesktopPrograms({root + "/none1", root + "/none2", root + "/none3", root + "/none4"});
  for (const char* item : {"mnuwmix", "mnuwexp", "mnuwnote"}) {
    responder.answers.push_back(item);
    form->old->click();
  }
  form->netdoc->click();
  EXPECT_EQ(responder.shown.size(), 3u);  // the menus, and nothing else
  EXPECT_TRUE(started().empty());
}

TEST_F(MessagesTest, EditorPathThatCannotBeWrittenSaysSo) {
  writeParms(284);
  const std::string before = parms();
  platform::failOpenFor("C:\\Vemracd\\Parms");
  setEditor("C:\\ed.sh");
  platform::clearFailHooks();
  EXPECT_EQ(parms(), before);
  EXPECT_EQ(form->Umsg->caption(), " The editor path could not be written to Parms. Please Re-try.");
}

}  // namespace
