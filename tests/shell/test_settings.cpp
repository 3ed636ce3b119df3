// The track-settings file vsets: every field at its documented offset, byte-for-byte loading of
// a hand-built file (and saving it back unchanged but for values out of range), the question
// only for a non-empty file, clamping of loaded values, short and long files, failures to read
// or write, and a full disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
namespace colour = ui::colour;
namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::nn;

// Offsets of the file, written out from the layout rather than from the code's tables.
constexpr size_t panKnob(int t) { return t <= 14 ? 12 * (t - 1) : 168 + 8 * (t - 15); }
constexpr size_t volKnob(int t) { return t <= 14 ? 12 * (t - 1) + 6 : 168 + 8 * (t - 15) + 2; }
constexpr size_t pan(int t) { return t <= 14 ? 12 * (t - 1) + 2 : 168 + 8 * (t - 15) + 4; }
constexpr size_t vol(int t) { return t <= 14 ? 12 * (t - 1) + 8 : 168 + 8 * (t - 15) + 6; }
constexpr size_t mixPan(int t) { return 12 * (t - 1) + 4; }
constexpr size_t mixVol(int t) { return 12 * (t - 1) + 10; }
constexpr size_t name(int t) { return 280 + 9 * (t - 1); }

int16_t get16(const Bytes& b, size_t off) {
  return static_cast<int16_t>(b.at(off) | (b.at(off + 1) << 8));
}
void put16(Bytes& b, size_t off, int v) {
  b.at(off) = static_cast<uint8_t>(v & 0xFF);
  b.at(off + 1) = static_cast<uint8_t>((v >> 8) & 0xFF);
}
std::string nameAt(const Bytes& b, int t) {
  return std::string(reinterpret_cast<const char*>(b.data()) + name(t), 9);
}
void putName(Bytes& b, int t, const std::string& bytes9) {
  ASSERT_EQ(bytes9.size(), 9u);
  std::copy(bytes9.begin(), bytes9.end(), b.begin() + static_cast<long>(name(t)));
}

// Keeps every box; answers from `answers` (empty: OK, or No to a question).
class Answers : public test_support::LoggingResponder {
 public:
  std::deque<int>& answers = queue;
  Answers() { yesNo = ui::kNo; }
};

class SettingsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::ensureApplication(); }

  void SetUp() override {
    drive.emplace("vsets");
    root = drive->path().string();
    fs::create_directories(root + "/Vemracd/Mysong");
    ui::setResponder(&boxes);
    program = std::make_unique<app::Application>();
    sh = program->system().shell;
    form = &program->mainForm();
    test_support::setUpTrackPages(*sh);
    sh->setsfname = "C:\\Vemracd\\Mysong\\vsets";
  }

  void TearDown() override {
    program.reset();
    ui::setResponder(nullptr);
    platform::clearFailHooks();
    drive.reset();
  }

  std::string vsets() const { return root + "/Vemracd/Mysong/vsets"; }
  void writeVsets(const Bytes& b) { test_support::writeAll(vsets(), b); }
  Bytes readVsets() const { return test_support::readAll(vsets()); }
  // Everything the reader may change.
  std::string snapshot() const {
    std::string s;
    for (int k = 0; k < 14; ++k)
      s += form->N[k]->text() + "," + std::to_string(form->P[k]->left()) + "," +
           std::to_string(form->V[k]->left()) + "," + form->P[k]->tag() + "," + form->V[k]->tag() +
           "," + form->PL[k]->tag() + "," + form->VL[k]->tag() + "," + form->selrect[k]->tag() +
           "," + form->wd[k]->tag() + "|";
    for (int16_t v : sh->layouttab) s += std::to_string(v) + " ";
    for (const auto& n : sh->trknames) s += n + "|";
    return s;
  }
  // A file as another copy of the program writes it: values in range for tracks 01-14 (they go
  // through the controls), anything at all for tracks 15-28, names in Windows-1252.
  Bytes handBuilt() const {
    Bytes b(532, 0);
    for (int t = 1; t <= 28; ++t) {
      put16(b, panKnob(t), 120 + 3 * t);
      put16(b, volKnob(t), 215 - 2 * t);
      put16(b, pan(t), t <= 14 ? -5000 + 700 * t : -31000 + 1000 * t);
      put16(b, vol(t), t <= 14 ? -700 * t : 100 * t);
      if (t <= 14) {
        put16(b, mixPan(t), (120 + 3 * t - 121) * 348);
        put16(b, mixVol(t), -30000 + 7 * t);
      }
      std::string n = platform::fixedLen("Tk" + nn(t), 9);
      n[5] = static_cast<char>(0x80 + t);  // euro sign, undefined bytes, ... all kept
      if (t > 14) n[6] = '\0';
      putName(b, t, n);
    }
    return b;
  }

  // handBuilt() as the program saves it back: the values out of range brought within range.
  Bytes handBuiltInRange() const {
    Bytes b = handBuilt();
    for (int t = 15; t <= 28; ++t) {
      put16(b, pan(t), std::max(-10000, int(get16(b, pan(t)))));
      put16(b, vol(t), std::min(0, int(get16(b, vol(t)))));
    }
    return b;
  }

  std::optional<test_support::TempDrive> drive;
  std::string root;
  Answers boxes;
  std::unique_ptr<app::Application> program;
  shell::Shell* sh = nullptr;
  shell::MainForm* form = nullptr;
};

TEST_F(SettingsTest, WriterPutsEveryFieldAtItsOffset) {
  auto& f = *form;
  for (int t = 1; t <= 14; ++t) {
    const int k = t - 1;
    f.P[k]->setLeft(120 + t);
    f.P[k]->setTag(platform::str(-100 * t));
    f.PL[k]->setTag(platform::str(1000 + t));
    f.V[k]->setLeft(200 - t);
    f.V[k]->setTag(platform::str(-50 * t));
    f.VL[k]->setTag(platform::str(30 * t));
    f.N[k]->setText("Name" + nn(t));
  }
  f.N[0]->setText("ABCDEFGHIJK");
  f.N[1]->setText("Müller");
  f.N[2]->setText("Bass");
  for (int t = 15; t <= 28; ++t) {
    const int b = 84 + 4 * (t - 15);
    sh->layouttab[b] = static_cast<int16_t>(130 + t);
    sh->layouttab[b + 1] = static_cast<int16_t>(180 + t);
    sh->layouttab[b + 2] = static_cast<int16_t>(100 * t);
    sh->layouttab[b + 3] = static_cast<int16_t>(-10 * t);
  }
  sh->layouttab[84] = 30000;  // the table's half is written as it is
  const std::string umsg = f.Umsg->caption();

  sh->wmixrec();
  const Bytes b = readVsets();
  ASSERT_EQ(b.size(), 532u);
  for (int t = 1; t <= 14; ++t) {
    EXPECT_EQ(get16(b, panKnob(t)), 120 + t) << t;
    EXPECT_EQ(get16(b, pan(t)), -100 * t) << t;
    EXPECT_EQ(get16(b, mixPan(t)), 1000 + t) << t;
    EXPECT_EQ(get16(b, volKnob(t)), 200 - t) << t;
    EXPECT_EQ(get16(b, vol(t)), -50 * t) << t;
    EXPECT_EQ(get16(b, mixVol(t)), 30 * t) << t;
    if (t > 3) {
      EXPECT_EQ(nameAt(b, t), "Name" + nn(t) + "   ") << t;
    }
  }
  EXPECT_EQ(nameAt(b, 1), "ABCDEFGHI");
  EXPECT_EQ(nameAt(b, 2), "M\xFCller   ");
  EXPECT_EQ(nameAt(b, 3), "Bass     ");
  for (int t = 15; t <= 28; ++t) {
    EXPECT_EQ(get16(b, panKnob(t)), t == 15 ? 30000 : 130 + t) << t;
    EXPECT_EQ(get16(b, volKnob(t)), 180 + t) << t;
    EXPECT_EQ(get16(b, pan(t)), 100 * t) << t;
    EXPECT_EQ(get16(b, vol(t)), -10 * t) << t;
    EXPECT_EQ(nameAt(b, t), "Track" + nn(t) + "  ") << t;
  }
  // Little-endian, and nothing shown.
  EXPECT_EQ(b[pan(2)], 0x38);  // -200 = 0xFF38
  EXPECT_EQ(b[pan(2) + 1], 0xFF);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(f.Umsg->caption(), umsg);
}

TEST_F(SettingsTest, WriterOnPage1528TakesThatPageFromTheRows) {
  std::ofstream(root + "/Vemracd/Mysong/T01.wav") << "RIFF";
  auto& f = *form;
  f.P[0]->setLeft(125);
  f.N[0]->setText("Kick");
  f.t1528->click();
  ASSERT_TRUE(sh->page1528());
  f.P[0]->setLeft(100);  // the rows' own value is written as it stands
  f.V[1]->setLeft(210);
  f.selrect[1]->setTag("-4000");
  f.wd[1]->setTag("-900");
  f.N[1]->setText("Strings");
  f.P[0]->setTag("1234");  // track 01's Tag: still track 01's value on this page

  sh->wmixrec();
  const Bytes b = readVsets();
  ASSERT_EQ(b.size(), 532u);
  EXPECT_EQ(get16(b, panKnob(15)), 100);
  EXPECT_EQ(get16(b, volKnob(16)), 210);
  EXPECT_EQ(get16(b, pan(16)), -4000);
  EXPECT_EQ(get16(b, vol(16)), -900);
  EXPECT_EQ(nameAt(b, 16), "Strings  ");
  EXPECT_EQ(nameAt(b, 15), "Track15  ");
  // Tracks 01-14 as they were when their page was left.
  EXPECT_EQ(get16(b, panKnob(1)), 125);
  EXPECT_EQ(get16(b, pan(1)), 0);
  EXPECT_EQ(nameAt(b, 1), "Kick     ");
  EXPECT_EQ(get16(b, mixPan(1)), 16383);
  EXPECT_EQ(get16(b, vol(2)), -1500);
}

TEST_F(SettingsTest, HandBuiltFileLoadsAndSavesBackByteForByteButForValuesOutOfRange) {
  const Bytes file = handBuilt();
  writeVsets(file);
  const std::string umsg = form->Umsg->caption();
  boxes.answers = {ui::kYes};
  sh->rmixrec();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, " Load vsets ?");
  EXPECT_EQ(boxes.shown[0].text, " Do you want names/pans/vols loaded from vsets file ?");
  EXPECT_EQ(boxes.shown[0].buttons, ui::kYesNo);

  auto& f = *form;
  for (int t = 1; t <= 14; ++t) {
    const int k = t - 1;
    EXPECT_EQ(f.P[k]->left(), 120 + 3 * t) << t;
    EXPECT_EQ(f.V[k]->left(), 215 - 2 * t) << t;
    EXPECT_EQ(f.P[k]->tag(), platform::str(-5000 + 700 * t)) << t;
    EXPECT_EQ(f.V[k]->tag(), platform::str(-700 * t)) << t;
    EXPECT_EQ(f.PL[k]->tag(), platform::str((120 + 3 * t - 121) * 348)) << t;
    EXPECT_EQ(f.VL[k]->tag(), platform::str(-30000 + 7 * t)) << t;
    EXPECT_EQ(f.N[k]->text(), platform::fromCp1252(nameAt(file, t))) << t;
  }
  EXPECT_EQ(f.N[0]->text(), "Tk01 \u0081   ");
  EXPECT_EQ(f.N[4]->text(), "Tk05 \u2026   ");
  // Tracks 15-28 play their loaded pans and volumes at once (clamped where applied); their
  // knobs and names wait for their page.
  EXPECT_EQ(f.selrect[0]->tag(), "-10000");  // -16000 in the file
  EXPECT_EQ(f.selrect[13]->tag(), "-3000");
  EXPECT_EQ(f.wd[0]->tag(), "0");  // 1500 in the file
  EXPECT_EQ(sh->layouttab[84 + 2], -10000);  // and in the table
  EXPECT_EQ(sh->layouttab[84 + 3], 0);
  EXPECT_EQ(sh->trknames[14], nameAt(file, 15));
  EXPECT_EQ(f.Umsg->caption(), umsg);  // nothing shown at the end

  sh->wmixrec();
  EXPECT_EQ(readVsets(), handBuiltInRange());
}

TEST_F(SettingsTest, LoadedValuesAreClampedWhereApplied) {
  std::ofstream(root + "/Vemracd/Mysong/T01.wav") << "RIFF";
  Bytes b = handBuilt();
  put16(b, panKnob(1), 300);
  put16(b, volKnob(1), 5);
  put16(b, pan(1), 20000);
  put16(b, vol(1), 500);
  put16(b, pan(2), -32768);
  put16(b, vol(2), -20000);
  put16(b, mixPan(2), -32768);  // mixdown values go in as they are
  put16(b, panKnob(15), 999);
  put16(b, volKnob(15), -5);
  put16(b, pan(16), 12000);
  put16(b, vol(16), -10000);
  writeVsets(b);
  boxes.answers = {ui::kYes};
  sh->rmixrec();

  auto& f = *form;
  EXPECT_EQ(f.P[0]->left(), 215);
  EXPECT_EQ(f.V[0]->left(), 120);
  EXPECT_EQ(f.P[0]->tag(), "10000");
  EXPECT_EQ(f.V[0]->tag(), "0");
  EXPECT_EQ(f.P[1]->tag(), "-10000");
  EXPECT_EQ(f.V[1]->tag(), "-10000");
  EXPECT_EQ(f.PL[1]->tag(), "-32768");
  EXPECT_EQ(f.selrect[1]->tag(), "10000");
  EXPECT_EQ(f.wd[1]->tag(), "-10000");
  // The table holds them as they are used, and a save writes them so, also those of tracks
  // 15-28 whose page was never shown.
  EXPECT_EQ(sh->layouttab[0], 215);
  EXPECT_EQ(sh->layouttab[1], 10000);
  EXPECT_EQ(sh->layouttab[84], 215);
  EXPECT_EQ(sh->layouttab[85], 120);
  sh->wmixrec();
  const Bytes saved = readVsets();
  const std::pair<size_t, int> expected[] = {
      {panKnob(1), 215},    {volKnob(1), 120},   {pan(1), 10000},   {vol(1), 0},
      {pan(2), -10000},     {vol(2), -10000},    {mixPan(2), -32768},
      {panKnob(15), 215},   {volKnob(15), 120},  {pan(15), -10000}, {vol(15), 0},
      {pan(16), 10000},     {vol(16), -10000},   {pan(28), -3000},  {vol(28), 0},
  };
  for (auto [at, v] : expected) EXPECT_EQ(get16(saved, at), v) << "offset " << at;

  f.t1528->click();
  EXPECT_EQ(f.P[0]->left(), 215);
  EXPECT_EQ(f.V[0]->left(), 120);
  EXPECT_EQ(f.N[0]->text(), platform::fromCp1252(nameAt(b, 15)));
  EXPECT_EQ(f.selrect[1]->tag(), "10000");
}

TEST_F(SettingsTest, QuestionOnlyForANonEmptyFileAndNoChangesNothing) {
  const std::string before = snapshot();
  sh->rmixrec();  // no file
  std::ofstream(vsets()).flush();
  sh->rmixrec();  // 0 bytes
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(fs::file_size(vsets()), 0u);

  writeVsets({0x01});
  sh->rmixrec();  // one byte: asked, answered No
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(ui::shownBoxes().back().answer, "No");
  writeVsets(handBuilt());
  sh->rmixrec();
  EXPECT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(snapshot(), before);
}

TEST_F(SettingsTest, ShortFileLeavesTheEntriesPastItsEnd) {
  const std::string designed = snapshot();
  Bytes b = handBuilt();
  writeVsets(Bytes(b.begin(), b.begin() + 13));  // elements 0..5 whole, element 6 cut
  boxes.answers = {ui::kYes};
  sh->rmixrec();
  auto& f = *form;
  EXPECT_EQ(f.P[0]->left(), 123);
  EXPECT_EQ(f.VL[0]->tag(), platform::str(-30000 + 7));
  EXPECT_EQ(f.P[1]->left(), 168);
  EXPECT_EQ(sh->layouttab[6], 0);
  EXPECT_EQ(f.N[0]->text(), "Track01");
  EXPECT_EQ(f.selrect[0]->tag(), "0");

  writeVsets(Bytes(b.begin(), b.begin() + 298));  // every element, names of tracks 01 and 02
  boxes.answers = {ui::kYes};
  sh->rmixrec();
  EXPECT_EQ(f.P[13]->left(), 120 + 3 * 14);
  EXPECT_EQ(f.selrect[13]->tag(), "-3000");
  EXPECT_EQ(f.N[1]->text(), platform::fromCp1252(nameAt(b, 2)));
  EXPECT_EQ(f.N[2]->text(), "Track03");
  EXPECT_EQ(sh->trknames[14], "Track15  ");
  EXPECT_NE(snapshot(), designed);
}

TEST_F(SettingsTest, LongerFileReadsItsFirst532BytesAndKeepsTheRest) {
  Bytes b = handBuilt();
  for (int i = 0; i < 100; ++i) b.push_back(static_cast<uint8_t>(0xA0 + i));
  writeVsets(b);
  boxes.answers = {ui::kYes};
  sh->rmixrec();
  EXPECT_EQ(form->N[13]->text(), platform::fromCp1252(nameAt(b, 14)));
  form->N[13]->setText("Changed");
  sh->wmixrec();
  const Bytes after = readVsets();
  ASSERT_EQ(after.size(), 632u);
  EXPECT_EQ(nameAt(after, 14), "Changed  ");
  EXPECT_TRUE(std::equal(after.begin() + 532, after.end(), b.begin() + 532));
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + name(14), handBuiltInRange().begin()));
}

TEST_F(SettingsTest, FailuresToReadOrWrite) {
  // Reading: asked, then the open fails: nothing changes and nothing more is shown.
  writeVsets(handBuilt());
  const std::string before = snapshot();
  platform::failOpenFor(sh->setsfname);
  boxes.answers = {ui::kYes};
  sh->rmixrec();
  EXPECT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(snapshot(), before);

  // Writing: a box says so and the file keeps its bytes.
  sh->wmixrec();
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].title, "vsets NOT SAVED");
  EXPECT_EQ(boxes.shown[1].text,
            " Pans, volumes and track names could not be saved in the vsets file "
            "(C:\\Vemracd\\Mysong\\vsets). Please check that the song folder exists and can be "
            "written.");
  EXPECT_EQ(boxes.shown[1].buttons, ui::kOkOnly);
  EXPECT_EQ(readVsets(), handBuilt());

  // No song folder.
  platform::clearFailHooks();
  fs::remove_all(root + "/Vemracd/Mysong");
  sh->wmixrec();
  EXPECT_EQ(boxes.shown.size(), 3u);
  EXPECT_FALSE(fs::exists(vsets()));
}

TEST_F(SettingsTest, SaveOnAFullDiskLeavesTheEarlierFileAsItWasAndNothingBesideIt) {
  // The song folder on a small file system of its own, filled up.
  const std::string song = root + "/Vemracd/Mysong";
  if (::mount("tmpfs", song.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small file system: " << std::strerror(errno);
  struct Unmount {
    std::string dir;
    ~Unmount() { ::umount2(dir.c_str(), MNT_DETACH); }
  } unmount{song};
  const auto fill = [&] {
    const int fd = ::open((song + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::vector<char> block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  };
  const auto listing = [&] {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::directory_iterator(song))
      files[e.path().filename().string()] = test_support::readAll(e.path());
    return files;
  };
  Bytes longer = handBuilt();
  longer.resize(632, 0xA5);

  for (const bool earlier : {false, true}) {
    SCOPED_TRACE(earlier ? "an earlier, longer file" : "no earlier file");
    fs::remove(vsets());
    if (earlier) writeVsets(longer);
    fill();
    const auto before = listing();
    boxes.shown.clear();
    form->N[0]->setText(earlier ? "Second" : "First");
    sh->wmixrec();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "vsets NOT SAVED");
    EXPECT_EQ(listing(), before);  // no empty or cut file, nothing left beside it

    fs::remove(song + "/filler");
    sh->wmixrec();
    EXPECT_EQ(boxes.shown.size(), 1u);
    const Bytes b = readVsets();
    ASSERT_EQ(b.size(), earlier ? 632u : 532u);
    EXPECT_EQ(nameAt(b, 1), earlier ? "Second   " : "First    ");
    EXPECT_TRUE(std::equal(b.begin() + 532, b.end(), longer.begin() + 532));
    EXPECT_EQ(listing().size(), 1u);  // vsets alone
  }
}

}  // namespace
