// The range editor: deletion through the wave-audio deletion device, silence, reverse, and the
// volume boost and cut of a range of one track file, each behind its editor button.
#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "app/application.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/wav.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace waveform {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;
using platform::roundHalfEven;
using platform::str;

namespace {
constexpr int64_t kHeader = 44;
constexpr int64_t kMaxRange = 2690000;      // samples: about a minute
constexpr int64_t kMaxSilenceAll = 10760400;  // samples: 244 seconds

constexpr const char* kNegStart = " start sample less than zero. Please Re-try.";
constexpr const char* kStartPast = " start sample past end of track. Please Re-try. Track is ";
constexpr const char* kEndPast = " end sample past end of track. Please Re-try. Track is ";
constexpr const char* kEndBeforeStart = " end sample less than or equal to start. Please Re-try.";
constexpr const char* kTooLong = " Sample range greater than a minute. Please Re-try.";
constexpr const char* kVeryLong =
    " Track is very long for processing. 4 minutes max. Suggest you silence a minute at a time "
    "using SR. Please re-try.";
constexpr const char* kNoTrack = " Track in From box does not exist. Please Re-try.";
constexpr const char* kBcBoxes =
    " You clicked boost or cut - but start/end or percent incorrect. Please Re-try. ";
constexpr const char* kBcAmount = " You clicked boost or cut - but incorrect amt entered. Please Re-try.";
constexpr const char* kDistorted =
    " The boost value entered would mean a distorted result. Please Re-try.";
constexpr const char* kBadBox = " Start or end sample is not a number. Please Re-try.";
constexpr const char* kDeleteFailed =
    " The delete could not be done - the track is as it was. Please Re-try.";

constexpr int64_t kMaxSample = 442000;
constexpr const char* kNegPaste = " paste to sample less than zero. Please Re-try.";
constexpr const char* kPastePast =
    " Paste to value on tk for external sample paste is past end of track. Please Re-try.";
constexpr const char* kSampleBig =
    " The sample you are loading is bigger than 10 secs !! If you want to load huge samples - use "
    "explorer to copy to a free tk T01 thru' T14. Please Re-try.";
constexpr const char* kNoSample =
    "Cant locate sample in Mysong dir. If using box option did you enter sample id in the box ?? "
    "Did you put the sample in Mysong and name it as a spare id in range SP01 thru' SP12 or SP14 "
    "thru' SP99 for box usage ?? Please note - Samples can be copied into Mysong using Windows "
    "explorer and named in the range SP01 thru' SP99. Please Re-try.";

// The refusal of a sample file or range-paste source that is not a plain track; it names the file.
std::string notPlainSample(const std::string& path) {
  return " " + platform::rtrim(path.substr(path.rfind('\\') + 1)) +
         " is not a plain 44.1 kHz 16-bit mono WAV - nothing was pasted. Please Re-try.";
}

std::string lengthText(int64_t tklen) { return str(tklen) + " samples long."; }
// The samples a track file of `bytes` holds; one shorter than its header holds none.
int64_t sampleCount(int64_t bytes) { return std::max<int64_t>(0, roundHalfEven((bytes - kHeader) / 2.0)); }

// A box's number rounded to a whole 32-bit value; nothing for text that is not one number.
std::optional<int64_t> boxSample(const std::string& text) {
  const auto v = platform::parseNumber(text);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  const int64_t r = roundHalfEven(*v);
  if (r < INT32_MIN || r > INT32_MAX) return std::nullopt;
  return r;
}

int64_t msOf(int64_t sample) { return roundHalfEven(static_cast<double>(sample) / 44.1); }

// Sets the hourglass for the life of a worker and always gives the arrow back.
class Hourglass {
 public:
  explicit Hourglass(ui::Form& f) : f_(f) { f_.setPointer(ui::Pointer::Hourglass); }
  ~Hourglass() { f_.setPointer(ui::Pointer::Arrow); }
  Hourglass(const Hourglass&) = delete;
  Hourglass& operator=(const Hourglass&) = delete;

 private:
  ui::Form& f_;
};

// Reads all of `buf` from sample `first` of `path`; false on any failure.
bool readRange(const std::string& path, int64_t first, std::vector<int16_t>& buf) {
  const int fn = platform::freeFile();
  if (fn == 0 || !platform::fileOpen(fn, path, platform::OpenMode::Read)) return false;
  const bool ok = platform::getInt16s(fn, kHeader + 2 * first + 1, std::span<int16_t>(buf)) == buf.size();
  platform::fileClose(fn);
  return ok;
}
// Reads up to buf.size() samples of `path` from sample `first`; what is not there stays 0.
bool readInto(const std::string& path, int64_t first, std::vector<int16_t>& buf) {
  std::fill(buf.begin(), buf.end(), int16_t{0});
  const int fn = platform::freeFile();
  if (fn == 0 || !platform::fileOpen(fn, path, platform::OpenMode::Read)) return false;
  platform::getInt16s(fn, kHeader + 2 * first + 1, std::span<int16_t>(buf));
  platform::fileClose(fn);
  return true;
}
}  // namespace

bool putCopies(const std::string& path, std::span<const int16_t> data, int64_t first,
               int64_t count, int64_t step, bool headerFollows) {
  const int fn = platform::freeFile();
  if (fn == 0 || !platform::fileOpen(fn, path, platform::OpenMode::ReadWriteExisting)) return false;
  const int64_t oldLen = platform::lof(fn);
  const int64_t newLen = kHeader + 2 * (first + (count - 1) * step + static_cast<int64_t>(data.size()));
  const bool grows = newLen > oldLen;
  // No sample is written before the file has the room for all of them.
  const bool room = !grows || (newLen - 8 <= UINT32_MAX && platform::reserve(fn, newLen));
  bool ok = room;
  for (int64_t j = 0; j < count && ok; ++j)
    ok = platform::putInt16s(fn, kHeader + 2 * (first + j * step) + 1, data);
  // After a failed write, and after a growth that the header is to follow, its sizes name the
  // file's length. When they cannot be written the file goes back to its old length and both
  // sizes are written again for it: one written before the failure names the new length.
  auto sizes = [fn](int64_t len) {
    return platform::putUInt32(fn, 5, static_cast<uint32_t>(len - 8)) &&
           platform::putUInt32(fn, 41, static_cast<uint32_t>(len - kHeader));
  };
  const int64_t len = platform::lof(fn);
  if (room && (!ok || (grows && headerFollows)) && len - 8 <= UINT32_MAX && !sizes(len)) {
    platform::truncateTo(fn, oldLen);
    sizes(platform::lof(fn));
    ok = false;
  }
  platform::fileClose(fn);
  return ok;
}

bool Waveform::capdelete(const std::string& path, int64_t fromMs, int64_t toMs) {
  shell::Shell& sh = *sys_.shell;
  sh.drvletter = platform::fixedLen(platform::curDir(), 1);
  sh.tempfname = sh.drvletter + ":\\Vemracd\\Mysong\\temp";
  const std::string& temp = sh.tempfname;
  // The name is taken fresh and held until the track is replaced: a temp that another running
  // program holds is never deleted, and nothing else at that name is written or waited on.
  const int held = platform::freeFile();
  if (held == 0 || !platform::fileOpen(held, temp, platform::OpenMode::Scratch)) return false;
  // The device's own errors show nothing: the caller's box says what failed, once.
  auto mci = [](const std::string& command) { return platform::mciExecuteQuiet(command); };
  const bool done = mci("open " + path + " alias capdel ") &&
                    mci(" delete capdel From " + str(fromMs) + " to " + str(toMs)) &&
                    mci("stop capdel ") && mci(" save capdel " + temp);
  mci("close capdel ");
  // The rename replaces the track in one step, so it is never without a file.
  const bool ok = done && platform::fileLen(temp) >= kHeader && platform::renameReplace(temp, path);
  platform::fileClose(held);
  if (!ok) platform::killUnheld(temp);
  return ok;
}

bool Waveform::trackFormatOk(const std::string& path, bool replaced) {
  // A link, or a file with other names, is left alone: writing it would change the file under
  // its other name, replacing it would part the track from it. A track the user made read-only
  // stays so: a deletion or a split would replace it by a writable file.
  std::string refusal;
  if (platform::isLinked(path)) {
    refusal = " is a link to another file";
  } else if (!replaced && !platform::isPlainTrack(path)) {
    refusal = " is not a plain 44.1 kHz 16-bit mono WAV track";
  } else if (platform::fileLen(path) >= 0 && !platform::mayWrite(path)) {
    refusal = " is read-only";
  } else {
    return true;
  }
  const auto& names = sys_.shell->tkfname;
  const auto track = std::find(names.begin(), names.end(), path) - names.begin() + 1;
  ui::msgBox(" Track " + platform::twoDigits(static_cast<int>(track)) + refusal +
             " - it was not changed. Please Re-try.");
  return false;
}

void Waveform::rgeButton_Click(Edit what) {
  shell::MainForm& f = sys_.form;
  if (f.srct->text().empty() || sys_.transport->recbusy() || playing() || onesecmode == 1) return;
  rgework(what);
  for (ui::TextBox* b : {f.bvol, f.cvol, f.siv, f.sov, f.ptv, f.bpmv, f.intervalval, f.repeatval})
    b->setText("");
  if (what == Edit::Paste) {
    f.bpminv->setText("");
  } else {
    rgeisdisp = 0;
  }
}

void Waveform::rgework(Edit what) {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  if (what == Edit::Paste) return rgeptdo();
  const bool bc = what == Edit::BoostCut;
  const bool toEnd = what == Edit::DeleteToEnd || what == Edit::SilenceToEnd;
  auto refuse = [](const std::string& text) { ui::msgBox(text); };

  // The numbers of the boxes.
  const auto start = boxSample(f.siv->text());
  const auto end = toEnd ? std::optional<int64_t>(0) : boxSample(f.sov->text());
  if (!start || !end) return refuse(bc ? kBcBoxes : kBadBox);
  int pct = 0;
  bool boost = false;
  if (bc) {
    // A box's whole text as one number, rounded: the value checked is the value worked with.
    auto percent = [](ui::TextBox* b) {
      const auto v = platform::parseNumber(b->text());
      return v && *v > 0 && *v < 100 ? static_cast<int>(roundHalfEven(*v)) : 0;
    };
    const int bp = percent(f.bvol), cp = percent(f.cvol);
    const bool b = bp >= 1 && bp <= 99, c = cp >= 1 && cp <= 99;
    if (b == c) return refuse(kBcAmount);  // neither, or both: no telling which is meant
    pct = b ? bp : cp;
    boost = b;
  }
  if (*start < 0) return refuse(kNegStart);

  // The track of the From box.
  const auto k = platform::parseNumber(f.srct->text());
  if (!k || *k != std::floor(*k) || *k < 1 || *k > kTracks ||
      !platform::fileExists(sh.tkfname[static_cast<size_t>(*k) - 1]))
    return refuse(bc ? kBcBoxes : kNoTrack);
  curtrkfile = sh.tkfname[static_cast<size_t>(*k) - 1];
  if (!trackFormatOk(curtrkfile)) return;
  const int64_t tklen = sampleCount(platform::fileLen(curtrkfile));

  int64_t s = *start, e = *end;
  if (what == Edit::DeleteToEnd) s = (roundHalfEven(static_cast<double>(s) / 44100) + 1) * 44100;
  if (toEnd) {
    if (tklen <= s) return refuse(kStartPast + lengthText(tklen));
    if (what == Edit::SilenceToEnd && tklen > kMaxSilenceAll) return refuse(kVeryLong);
    e = tklen - 1;
  } else {
    if (e <= s) return refuse(kEndBeforeStart);
    if (tklen <= s) return refuse(kStartPast + lengthText(tklen));
    if (tklen <= e) return refuse(kEndPast + lengthText(tklen));
    if (e - s > kMaxRange) return refuse(kTooLong);
  }

  std::string done;
  {
    std::optional<Hourglass> hg;
    if (!bc) hg.emplace(f);
    std::vector<int16_t> buf;
    switch (what) {
      case Edit::DeleteToEnd:
      case Edit::DeleteRange: {
        const int64_t toMs = what == Edit::DeleteToEnd ? msOf(tklen) : msOf(e);
        if (!capdelete(curtrkfile, msOf(s), toMs)) return refuse(kDeleteFailed);
        done = what == Edit::DeleteToEnd ? " Delete from start sample to end of track done. Ready."
                                         : " Sample range delete (cut) done. Ready.";
        break;
      }
      case Edit::SilenceToEnd:
      case Edit::SilenceRange:
        buf.assign(static_cast<size_t>(e - s + 1), 0);
        if (!putCopies(curtrkfile, buf, s, 1, 0, false)) return refuse(kFileFailed);
        done = toEnd ? " Silence of samples done. Ready." : " Silence range of samples done. Ready.";
        break;
      case Edit::Reverse:
        buf.resize(static_cast<size_t>(e - s + 1));
        if (!readRange(curtrkfile, s, buf)) return refuse(kFileFailed);
        std::reverse(buf.begin(), buf.end());
        if (!putCopies(curtrkfile, buf, s, 1, 0, false)) return refuse(kFileFailed);
        done = " Reverse range of samples done. Ready.";
        break;
      case Edit::BoostCut:
        // The end sample itself stays as it is.
        buf.resize(static_cast<size_t>(e - s));
        if (!readRange(curtrkfile, s, buf)) return refuse(kFileFailed);
        for (int16_t& v : buf) {
          if (boost) {
            const int64_t r = roundHalfEven(static_cast<double>(v) * (pct + 100) / 100);
            if (r > 32760 || r < -32760) return refuse(kDistorted);
            v = static_cast<int16_t>(r);
          } else {
            const int64_t a = std::abs(static_cast<int64_t>(v));
            const int64_t r = a - roundHalfEven(static_cast<double>(a) * pct / 100);
            v = static_cast<int16_t>(v < 0 ? -r : r);
          }
        }
        if (!putCopies(curtrkfile, buf, s, 1, 0, false)) return refuse(kFileFailed);
        done = boost ? " Sample range volume boost done. Ready." : " Sample range volume cut done. Ready.";
        break;
      case Edit::Paste:
        break;
    }
  }
  redrawPage();
  f.Umsg->setCaption(done);
}

// ---- range paste -------------------------------------------------------------------------------

void Waveform::rgeptdo() {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  auto refuse = [](const std::string& text) { ui::msgBox(text); };
  const std::string noTrack =
      " Track trying to paste to does not exist, please record a blank track first to paste to. ";

  const auto start = boxSample(f.siv->text()), end = boxSample(f.sov->text()),
             to = boxSample(f.ptv->text());
  if (!start || !end || !to) return refuse(" Start, end or paste to sample is not a number. Please Re-try.");
  if (*start < 0) return refuse(kNegStart);
  if (*to < 0) return refuse(kNegPaste);
  // Both tracks must be whole numbers 1..28; the source must be there to copy from.
  auto trackOf = [](const std::string& text) -> int {
    const auto v = platform::parseNumber(text);
    return v && *v == std::floor(*v) && *v >= 1 && *v <= kTracks ? static_cast<int>(*v) : 0;
  };
  const int dst = trackOf(f.tov->text()), src = trackOf(f.srct->text());
  if (dst == 0 || src == 0) return refuse(noTrack);
  const std::string dstkey = platform::fixedLen("T" + str(dst), 3);
  curtrkfile = sh.tkfname[static_cast<size_t>(src) - 1];
  const int64_t srcBytes = platform::fileLen(curtrkfile);
  if (srcBytes <= 0) return refuse(kNoTrack);
  if (!platform::isPlainTrack(curtrkfile)) return refuse(notPlainSample(curtrkfile));
  const int64_t srclen = sampleCount(srcBytes);
  const int64_t s0 = *start, e0 = *end, p0 = *to;
  if (e0 <= s0) return refuse(" end sample less than or equal to start. Please Re-try. ");
  if (srclen <= s0) return refuse(kStartPast + lengthText(srclen));
  if (srclen <= e0) return refuse(kEndPast + lengthText(srclen));
  if (e0 - s0 > kMaxRange) return refuse(" Sample range greater than a minute. Please Re-try. ");
  const std::string pastetrack = sh.tkfname[static_cast<size_t>(dst) - 1];
  const int64_t n = e0 - s0;

  int64_t count = 1, step = 0;
  const int64_t dstBytes = platform::fileLen(pastetrack);
  if (dstBytes <= 0) return refuse(noTrack);
  if (!trackFormatOk(pastetrack)) return;
  const int64_t tklen = sampleCount(dstBytes);
  const std::string lenMsg = lengthText(tklen);
  if (!f.bpmv->text().empty()) {
    const auto bpm = platform::parseNumber(f.bpmv->text());
    if (!bpm || *bpm < 2 || *bpm > 600) return refuse(" BPM not in range 2 to 600. Please Re-try.");
    const int64_t perMin = roundHalfEven(*bpm);
    int64_t beat = roundHalfEven(2646000.0 / static_cast<double>(perMin));
    const double m = platform::val(f.bpminv->text());
    const int64_t mins = !f.bpminv->text().empty() && m >= 1 && m <= 9 ? roundHalfEven(m) : 1;
    if (tklen <= p0)
      return refuse(" paste to starts beyond end of track " + dstkey +
                    " Please create a longer track to paste to. Track is " + lenMsg);
    if (beat > n) beat -= n;
    count = mins * perMin;
    step = n + beat;
    // The minutes are counted from the paste-to sample, and no copy may reach past what a
    // track file can hold.
    const int64_t lastByte = kHeader + 2 * (p0 + (count - 1) * step + n + 1) - 1;
    if (tklen <= p0 + mins * 2646000 || lastByte > INT32_MAX)
      return refuse(" BPM/mins combo would mean paste beyond end of track " + dstkey +
                    " Please create a longer track to paste to or try fewer minutes. Track is " +
                    lenMsg);
  } else if (!f.intervalval->text().empty() && !f.repeatval->text().empty()) {
    const auto iv = platform::parseNumber(f.intervalval->text());
    if (!iv || *iv < 1 || *iv > 882000)
      return refuse(" Interval box not in range 1 to 882000. Please Re-try.");
    const auto rp = platform::parseNumber(f.repeatval->text());
    if (!rp || *rp < 1 || *rp > 88888)
      return refuse(" No of pastes box not in range 1 to 88888. Please Re-try.");
    int64_t gap = roundHalfEven(*iv);
    count = roundHalfEven(*rp);
    if (gap > n) gap -= n;
    step = n + gap;
    if (tklen <= p0)
      return refuse(" Cant paste beyond end of track " + dstkey +
                    " Sorry. Please create a longer track to paste to. Track is " + lenMsg);
    if (tklen <= p0 + count * step)
      return refuse(" Interval and no of pastes entered mean pasting past end of track " + dstkey +
                    ". Please record a longer blank track. Please Re-try. Track is " + lenMsg);
  } else if (tklen <= p0) {
    return refuse(" Cant paste beyond end of track " + dstkey +
                  " Sorry. Please create a longer track to paste to. Track is " + lenMsg);
  }

  {
    Hourglass hg(f);
    std::vector<int16_t> buf(static_cast<size_t>(n + 1));
    // The whole range is read before any copy is written: source and destination may be one.
    if (!readRange(curtrkfile, s0, buf) || !putCopies(pastetrack, buf, p0, count, step, true))
      return refuse(kFileFailed);
  }
  redrawPage();
  f.Umsg->setCaption(" Paste range of samples done. Ready.");
}

// ---- sample paste ------------------------------------------------------------------------------

void Waveform::redtoblue() {
  shell::MainForm& f = sys_.form;
  for (ui::Label* l : f.lsp) l->setForeColor(colour::kBlack);
  f.ubox->setForeColor(colour::kBlack);
}

void Waveform::lsp_Click(int j) {
  ui::Label& l = *sys_.form.lsp[j - 1];
  if (l.foreColor() == colour::kRed) {
    l.setForeColor(colour::kBlack);
    blanks();
    redtoblue();
  } else if (l.foreColor() == colour::kBlack) {
    redtoblue();
    blanks();
    l.setForeColor(colour::kRed);
  }
}

void Waveform::ubox_Click() {
  ui::Label& l = *sys_.form.ubox;
  if (l.foreColor() == colour::kRed) {
    l.setForeColor(colour::kBlack);
    blanks();
    redtoblue();
  } else if (l.foreColor() == colour::kBlack) {
    blanks();
    redtoblue();
    l.setForeColor(colour::kRed);
  }
}

void Waveform::extdo() {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  std::string smplfile;
  for (int j = 1; j <= 8; ++j)
    if (f.lsp[j - 1]->foreColor() == colour::kRed) smplfile = sh.spfname[j - 1];
  if (f.ubox->foreColor() == colour::kRed)
    smplfile = platform::fixedLen(sh.drvletter + ":\\Vemracd\\Mysong\\SP" +
                                      str(static_cast<int64_t>(platform::val(f.spw->text()))) + ".wav",
                                  26);
  if (smplfile.empty() || playing()) return;
  const int64_t pastesmp = clicksmp;
  auto refuse = [this](const std::string& text) {
    blanks();
    ui::msgBox(text);
  };
  if (pastesmp < 0) return refuse(kNegPaste);
  const int64_t trackBytes = platform::fileLen(curtrkfile);
  if (trackBytes <= 0) return refuse(kNoSample);
  if (!trackFormatOk(curtrkfile)) return blanks();
  if (pastesmp > sampleCount(trackBytes)) return refuse(kPastePast);
  const int64_t sampleBytes = platform::fileLen(smplfile);
  if (sampleBytes <= 0) return refuse(kNoSample);
  if (!platform::isPlainTrack(smplfile)) return refuse(notPlainSample(smplfile));
  const int64_t n = sampleCount(sampleBytes);
  if (n > kMaxSample) return refuse(kSampleBig);
  std::vector<int16_t> buf(static_cast<size_t>(n + 1), 0);
  if (!readInto(smplfile, 0, buf)) return refuse(kNoSample);
  // The sample's last ten (all of a shorter one) end in silence; nothing before the paste point.
  const int64_t quiet = std::min<int64_t>(10, n);
  std::fill(buf.end() - 1 - quiet, buf.end(), int16_t{0});
  if (!putCopies(curtrkfile, buf, pastesmp, 1, 0, true)) return refuse(kFileFailed);
  redrawPage();
  blanks();
  f.Umsg->setCaption(" External sample pasted starting at sample no : " + str(pastesmp) + ". Ready.");
}

}  // namespace waveform
