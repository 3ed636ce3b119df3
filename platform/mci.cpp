// The command-string interface to the wave-audio devices. See mci.h.
//
// Three kinds of device live here: recorders (open new ... alias NAME; mci_recorder.cpp),
// deletion devices (open PATH alias NAME: a list of kept byte ranges of the source file, copied
// out by save) and element devices (play PATH: just the file's path and the id of the stream it
// plays on the sound device's output). A command is a verb and blank-separated words; a path is
// whatever lies between the fixed words, so it may hold blanks, and the trailing "from A" /
// "to B" pairs are recognised only when their value is a plain decimal number.
#include "platform/mci.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <utility>

#include "platform/mci_io.h"
#include "platform/mci_recorder.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/wav.h"

namespace platform {
namespace {

using mci::Recorder;
using mci::Segment;

struct RecordDevice {
  std::string alias;
  std::unique_ptr<Recorder> rec;
};

struct DeletionDevice {
  std::string alias;
  std::string source;  // host path
  int fd = -1;         // the source stays open: save reads it even if it was renamed meanwhile
  int channels = 1;
  std::vector<Segment> kept;  // byte ranges of the source that remain, in order

  ~DeletionDevice() {
    if (fd >= 0) ::close(fd);
  }
};

struct ElementDevice {
  std::string name;  // the path as the first command gave it
  std::string host;
  int stream = 0;    // 0: nothing playing
};

struct State {
  std::vector<RecordDevice> recorders;
  std::vector<std::unique_ptr<DeletionDevice>> deleters;
  std::vector<ElementDevice> elements;
  MciErrorReporter reporter;
  std::string lastError;
  std::string scratchDir;
};

// Never destroyed: devices may still be open when static destructors run, after the sound
// backend they use is gone.
State& st() {
  static State* s = new State;
  return *s;
}

// ---- Words ---------------------------------------------------------------------------------

struct Word {
  std::string_view text;
  size_t begin, end;  // offsets in the command
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<Word> splitWords(std::string_view s) {
  std::vector<Word> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && isBlank(s[i])) ++i;
    size_t b = i;
    while (i < s.size() && !isBlank(s[i])) ++i;
    if (i > b) out.push_back({s.substr(b, i - b), b, i});
  }
  return out;
}

// Plain decimal digits, no sign; at most 12 of them (over 30 years in ms).
std::optional<int64_t> number(std::string_view w) {
  if (w.empty() || w.size() > 12) return std::nullopt;
  int64_t v = 0;
  for (char c : w) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Milliseconds to frames at 44.1 kHz: ms x 44.1 rounded half to even, in exact integers.
int64_t msToFrame(int64_t ms) {
  int64_t x = ms * 441, q = x / 10, r = x % 10;
  if (r > 5 || (r == 5 && (q & 1))) ++q;
  return q;
}

struct Range {
  std::optional<int64_t> from, to;
};

// Takes trailing "from N" / "to N" pairs off words[lo, hi), keeping at least `keep` words.
// Fails (returns nullopt) when a pair is given twice.
std::optional<Range> takeRange(const std::vector<Word>& w, size_t lo, size_t& hi, size_t keep) {
  Range r;
  while (hi >= lo + keep + 2) {
    auto v = number(w[hi - 1].text);
    if (!v) break;
    std::string_view key = w[hi - 2].text;
    std::optional<int64_t>* slot =
        iequals(key, "from") ? &r.from : iequals(key, "to") ? &r.to : nullptr;
    if (!slot) break;
    if (*slot) return std::nullopt;
    *slot = v;
    hi -= 2;
  }
  return r;
}

// The text of words[i, j) as the command holds it, inner blanks included.
std::string joined(std::string_view cmd, const std::vector<Word>& w, size_t i, size_t j) {
  if (i >= j) return "";
  return std::string(cmd.substr(w[i].begin, w[j - 1].end - w[i].begin));
}

// ---- Devices -------------------------------------------------------------------------------

RecordDevice* findRecorder(std::string_view alias) {
  for (auto& d : st().recorders)
    if (iequals(d.alias, alias)) return &d;
  return nullptr;
}

DeletionDevice* findDeleter(std::string_view alias) {
  for (auto& d : st().deleters)
    if (iequals(d->alias, alias)) return d.get();
  return nullptr;
}

ElementDevice* findElement(const std::string& host) {
  for (auto& d : st().elements)
    if (d.host == host) return &d;
  return nullptr;
}

bool anyAlias(std::string_view alias) { return findRecorder(alias) || findDeleter(alias); }

// An open wave file and the part of it that holds samples (its sound from byte 44: a tag chunk
// after it is not played; whole frames).
struct WaveFile {
  int fd = -1;
  int channels = 1;
  int64_t frames = 0;
  ~WaveFile() {
    if (fd >= 0) ::close(fd);
  }
};

std::string openWave(const std::string& logical, WaveFile& wf) {
  std::string host = hostPath(logical);
  wf.fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a FIFO never blocks
  if (wf.fd < 0) return "cannot open " + logical + ": " + mci::errnoText();
  struct stat sb {};
  if (::fstat(wf.fd, &sb) != 0 || !S_ISREG(sb.st_mode)) return logical + " is not a file";
  uint8_t hdr[kWavHeaderBytes];
  if (sb.st_size < kWavHeaderBytes || !mci::preadAll(wf.fd, hdr, sizeof hdr, 0))
    return logical + " is not a wave file (shorter than its header)";
  wf.channels = wavChannels(hdr);
  wf.frames = std::max<int64_t>(0, soundBytes(wf.fd)) / (2 * wf.channels);
  return "";
}

// ---- Commands (each returns "" on success, else the reason) --------------------------------

using Words = std::vector<Word>;

std::string cmdOpen(std::string_view cmd, const Words& w) {
  size_t hi = w.size();
  std::string alias;
  bool typed = false;
  while (hi >= 4) {  // trailing "alias NAME" / "type waveaudio", in either order
    std::string_view key = w[hi - 2].text, val = w[hi - 1].text;
    if (iequals(key, "alias") && alias.empty()) {
      alias = std::string(val);
    } else if (iequals(key, "type") && !typed) {
      if (!iequals(val, "waveaudio")) return "unknown device type " + std::string(val);
      typed = true;
    } else {
      break;
    }
    hi -= 2;
  }
  if (hi < 2) return "open needs a file or \"new\"";
  if (iequals(alias, "all")) return "\"all\" cannot be a device alias";
  if (!alias.empty() && anyAlias(alias)) return "device " + alias + " is already open";

  State& s = st();
  if (hi == 2 && iequals(w[1].text, "new")) {
    if (alias.empty()) return "a new recording needs an alias";
    s.recorders.push_back({alias, std::make_unique<Recorder>(mciScratchDir(), alias)});
    return "";
  }

  std::string path = joined(cmd, w, 1, hi);
  auto wf = std::make_unique<WaveFile>();
  if (std::string err = openWave(path, *wf); !err.empty()) return err;
  if (alias.empty()) {  // an element device opened ahead of its play
    std::string host = hostPath(path);
    if (findElement(host)) return "device " + path + " is already open";
    s.elements.push_back({path, host, 0});
    return "";
  }
  auto d = std::make_unique<DeletionDevice>();
  d->alias = alias;
  d->source = hostPath(path);
  d->channels = wf->channels;
  d->kept.push_back({kWavHeaderBytes, static_cast<uint64_t>(wf->frames) * 2 * wf->channels});
  d->fd = std::exchange(wf->fd, -1);
  s.deleters.push_back(std::move(d));
  return "";
}

std::string cmdSet(const Words& w) {
  if (w.size() < 2) return "set needs a device";
  RecordDevice* r = findRecorder(w[1].text);
  DeletionDevice* del = findDeleter(w[1].text);
  if (!r && !del) return "no device named " + std::string(w[1].text) + " is open";
  std::optional<int> channels;
  size_t i = 2;
  if (i == w.size()) return "set needs a setting";
  while (i < w.size()) {
    std::string_view key = w[i].text;
    if (iequals(key, "time") && i + 2 < w.size() && iequals(w[i + 1].text, "format") &&
        (iequals(w[i + 2].text, "milliseconds") || iequals(w[i + 2].text, "ms"))) {
      i += 3;  // the only time format there is
      continue;
    }
    if (!r || i + 1 >= w.size()) return "unknown setting " + std::string(key);
    auto v = number(w[i + 1].text);
    if (iequals(key, "bitspersample")) {
      if (v != 16) return "only 16 bits per sample can be recorded";
    } else if (iequals(key, "samplespersec")) {
      if (v != kSampleRate) return "only 44100 samples per second can be recorded";
    } else if (iequals(key, "channels")) {
      if (v != 1 && v != 2) return "only 1 or 2 channels can be recorded";
      channels = static_cast<int>(*v);
    } else {
      return "unknown setting " + std::string(key);
    }
    i += 2;
  }
  return channels ? r->rec->setChannels(*channels) : "";
}

std::string cmdCue(const Words& w) {
  if (w.size() < 2) return "cue needs a device";
  RecordDevice* r = findRecorder(w[1].text);
  if (!r) return "no recording device named " + std::string(w[1].text) + " is open";
  if (w.size() > 3 || (w.size() == 3 && !iequals(w[2].text, "input")))
    return "cue takes only \"input\"";
  return r->rec->cue();
}

std::string cmdRecord(const Words& w) {
  if (w.size() < 2) return "record needs a device";
  RecordDevice* r = findRecorder(w[1].text);
  if (!r) return "no recording device named " + std::string(w[1].text) + " is open";
  size_t hi = w.size();
  auto range = takeRange(w, 2, hi, 0);
  if (!range || hi != 2 || range->to) return "record takes only \"from 0\"";
  if (range->from && *range->from != 0) return "a recording can only start from 0";
  return r->rec->record(range->from.has_value());
}

std::string cmdPlay(std::string_view cmd, const Words& w) {
  size_t hi = w.size();
  auto range = takeRange(w, 1, hi, 1);
  if (hi < 2) return "play needs a file";
  if (!range) return "play takes one \"from\" and one \"to\"";
  std::string path = joined(cmd, w, 1, hi);
  if (hi == 2 && anyAlias(path)) return "device " + path + " cannot play";

  WaveFile wf;
  if (std::string err = openWave(path, wf); !err.empty()) return err;
  std::string host = hostPath(path);
  ElementDevice* d = findElement(host);
  if (!d) {
    st().elements.push_back({path, host, 0});
    d = &st().elements.back();
  }
  if (d->stream) stopStream(std::exchange(d->stream, 0));

  int64_t a = std::clamp<int64_t>(range->from ? msToFrame(*range->from) : 0, 0, wf.frames);
  int64_t b = std::clamp<int64_t>(range->to ? msToFrame(*range->to) : wf.frames, 0, wf.frames);
  if (a >= b) return "";  // nothing to play
  auto samples = std::make_shared<std::vector<int16_t>>(static_cast<size_t>((b - a) * wf.channels));
  uint64_t frameBytes = 2 * static_cast<uint64_t>(wf.channels);
  if (!mci::preadAll(wf.fd, samples->data(), samples->size() * 2,
                     kWavHeaderBytes + static_cast<uint64_t>(a) * frameBytes))
    return "cannot read " + path + ": " + mci::errnoText();
  d->stream = playStream(std::move(samples), wf.channels);
  if (d->stream == 0) return "there is no sound output to play " + path + " on";
  return "";
}

std::string cmdStop(std::string_view cmd, const Words& w) {
  if (w.size() < 2) return "stop needs a device";
  std::string name = joined(cmd, w, 1, w.size());
  if (w.size() == 2) {
    if (RecordDevice* r = findRecorder(name)) return r->rec->stop();
    if (findDeleter(name)) return "";
  }
  ElementDevice* d = findElement(hostPath(name));
  if (!d) return "no device named " + name + " is open";
  if (d->stream) stopStream(std::exchange(d->stream, 0));
  return "";
}

std::string cmdSave(std::string_view cmd, const Words& w) {
  if (w.size() < 3) return "save needs a device and a file";
  std::string path = joined(cmd, w, 2, w.size());
  if (RecordDevice* r = findRecorder(w[1].text)) return r->rec->save(hostPath(path));
  if (DeletionDevice* d = findDeleter(w[1].text))
    return mci::saveWav(hostPath(path), d->channels, d->fd, d->kept);
  return "no recording or editing device named " + std::string(w[1].text) + " is open";
}

std::string cmdDelete(const Words& w) {
  if (w.size() < 2) return "delete needs a device";
  DeletionDevice* d = findDeleter(w[1].text);
  if (!d) return "no editing device named " + std::string(w[1].text) + " is open";
  size_t hi = w.size();
  auto range = takeRange(w, 2, hi, 0);
  if (!range || hi != 2) return "delete takes \"from MS to MS\"";

  const uint64_t fb = 2 * static_cast<uint64_t>(d->channels);
  int64_t total = 0;
  for (const Segment& s : d->kept) total += static_cast<int64_t>(s.length / fb);
  int64_t a = std::clamp<int64_t>(range->from ? msToFrame(*range->from) : 0, 0, total);
  int64_t b = std::clamp<int64_t>(range->to ? msToFrame(*range->to) : total, 0, total);
  if (a >= b) return "";

  // Cut frames [a, b) out of the kept ranges.
  std::vector<Segment> out;
  int64_t pos = 0;  // first frame of the current segment
  for (const Segment& s : d->kept) {
    int64_t n = static_cast<int64_t>(s.length / fb), end = pos + n;
    int64_t leftEnd = std::clamp(a, pos, end), rightBegin = std::clamp(b, pos, end);
    if (leftEnd > pos) out.push_back({s.offset, static_cast<uint64_t>(leftEnd - pos) * fb});
    if (rightBegin < end)
      out.push_back({s.offset + static_cast<uint64_t>(rightBegin - pos) * fb,
                     static_cast<uint64_t>(end - rightBegin) * fb});
    pos = end;
  }
  d->kept = std::move(out);
  return "";
}

void closeEverything() {
  State& s = st();
  for (auto& e : s.elements)
    if (e.stream) stopStream(e.stream);
  s.elements.clear();
  s.recorders.clear();  // each stops its capture and removes its scratch
  s.deleters.clear();
}

std::string cmdClose(std::string_view cmd, const Words& w) {
  if (w.size() < 2) return "close needs a device or \"all\"";
  std::string name = joined(cmd, w, 1, w.size());
  State& s = st();
  if (w.size() == 2) {
    if (iequals(name, "all")) {
      closeEverything();
      return "";
    }
    if (RecordDevice* r = findRecorder(name)) {
      s.recorders.erase(s.recorders.begin() + (r - s.recorders.data()));
      return "";
    }
    if (DeletionDevice* d = findDeleter(name)) {
      std::erase_if(s.deleters, [d](const auto& p) { return p.get() == d; });
      return "";
    }
  }
  ElementDevice* e = findElement(hostPath(name));
  if (!e) return "no device named " + name + " is open";
  if (e->stream) stopStream(e->stream);
  s.elements.erase(s.elements.begin() + (e - s.elements.data()));
  return "";
}

std::string run(std::string_view cmd) {
  Words w = splitWords(cmd);
  if (w.empty()) return "empty command";
  std::string_view verb = w[0].text;
  if (iequals(verb, "open")) return cmdOpen(cmd, w);
  if (iequals(verb, "set")) return cmdSet(w);
  if (iequals(verb, "cue")) return cmdCue(w);
  if (iequals(verb, "record")) return cmdRecord(w);
  if (iequals(verb, "play")) return cmdPlay(cmd, w);
  if (iequals(verb, "stop")) return cmdStop(cmd, w);
  if (iequals(verb, "save")) return cmdSave(cmd, w);
  if (iequals(verb, "delete")) return cmdDelete(w);
  if (iequals(verb, "close")) return cmdClose(cmd, w);
  return "unknown command " + std::string(verb);
}

std::vector<std::string>& commandLog() {
  static auto* log = new std::vector<std::string>;  // kept to the end, as the devices are
  return *log;
}

// Runs a command and keeps its failure as the last error; "" on success, else the report.
std::string runAndNote(std::string_view command) {
  commandLog().emplace_back(command);
  std::string err = run(command);
  State& s = st();
  if (err.empty()) {
    s.lastError.clear();
    return "";
  }
  s.lastError = err + " (command \"" + trim(command) + "\")";
  for (char& c : s.lastError)  // one line, whatever the command held
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return s.lastError;
}

// Where a take that cannot be saved is kept: the scratch folder (the song folder), else the
// home folder, else the system's temporary folder.
std::vector<std::string> keepFolders() {
  std::vector<std::string> dirs{mciScratchDir()};
  auto add = [&](std::string d) {
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    if (!d.empty() && std::find(dirs.begin(), dirs.end(), d) == dirs.end()) dirs.push_back(d);
  };
  if (const char* home = std::getenv("HOME")) add(home);
  std::error_code ec;
  auto tmp = std::filesystem::temp_directory_path(ec);
  add(ec ? std::string("/tmp") : tmp.string());
  return dirs;
}

KeptTake keptTake(const std::string& path) {
  std::filesystem::path p(path);
  std::string dir = p.parent_path().string();
  std::string folder = dir == mciScratchDir() ? p.parent_path().filename().string() : dir;
  return {path, p.filename().string(), folder};
}

}  // namespace

bool mciExecute(std::string_view command) {
  std::string message = runAndNote(command);
  if (message.empty()) return true;
  // Called last, with every device in its final state: a reporter that shows a box may run
  // handlers that send further commands.
  MciErrorReporter report = st().reporter;
  if (report)
    report(message);
  else
    std::cerr << "MCI error: " << message << std::endl;
  return false;
}

bool mciExecuteQuiet(std::string_view command) { return runAndNote(command).empty(); }

void setMciErrorReporter(MciErrorReporter reporter) { st().reporter = std::move(reporter); }

std::string mciLastError() { return st().lastError; }

void setMciScratchDir(const std::string& hostDir) { st().scratchDir = hostDir; }

std::string mciScratchDir() {
  if (!st().scratchDir.empty()) return st().scratchDir;
  std::error_code ec;
  std::string program = hostPath("C:\\Vemracd");
  if (std::filesystem::is_directory(program, ec)) return program;
  auto tmp = std::filesystem::temp_directory_path(ec);
  return ec ? std::string("/tmp") : tmp.string();
}

std::optional<KeptTake> mciKeepTake(std::string_view alias) {
  RecordDevice* r = findRecorder(alias);
  if (!r) return std::nullopt;
  std::string path = r->rec->keep(keepFolders());
  if (path.empty()) return std::nullopt;
  return keptTake(path);
}

std::string mciTakeStamp(std::string_view alias) {
  RecordDevice* r = findRecorder(alias);
  return r ? r->rec->stamp() : "";
}

std::optional<KeptTake> mciKeepFile(std::string_view path, const std::string& stamp) {
  std::string kept = mci::keepFile(hostPath(path), stamp, keepFolders());
  if (kept.empty()) return std::nullopt;
  return keptTake(kept);
}

std::vector<KeptTake> mciRecoverTakes() {
  std::vector<std::string> scan{mciScratchDir()};
  // Where takes were scratched before they moved to the song folder: the program folder.
  std::error_code ec;
  std::string program = hostPath("C:\\Vemracd");
  if (program != scan[0] && std::filesystem::is_directory(program, ec)) scan.push_back(program);
  std::vector<KeptTake> out;
  for (const std::string& dir : scan)
    for (const std::string& path : mci::recoverScratches(dir, keepFolders()))
      out.push_back(keptTake(path));
  return out;
}

int mciWriteError(std::string_view alias) {
  RecordDevice* r = findRecorder(alias);
  return r ? r->rec->writeError() : 0;
}

std::vector<std::string> mciOpenDevices() {
  std::vector<std::string> out;
  for (const auto& r : st().recorders) out.push_back(r.alias);
  for (const auto& d : st().deleters) out.push_back(d->alias);
  for (const auto& e : st().elements) out.push_back(e.name);
  return out;
}

void mciReset() {
  closeEverything();
  st().lastError.clear();
}

const std::vector<std::string>& mciCommandLog() { return commandLog(); }

void mciClearCommandLog() { commandLog().clear(); }

}  // namespace platform
