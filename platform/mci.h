// The command-string interface to the wave-audio devices (mciExecute).
//
// Recording devices by alias ("open new type waveaudio alias cap44", "set cap44 bitspersample 16
// channels 1 samplespersec 44100", "cue cap44 input", "record cap44 from 0", "stop cap44",
// "save cap44 PATH", "close cap44"); element devices opened by path ("play PATH [from MS [to MS]]",
// "stop PATH"), open until "close all"; deletion through an alias ("open PATH alias capdel",
// "delete capdel from MS to MS", "stop capdel", "save capdel PATH", "close capdel").
// Keywords in any case, extra blanks tolerated, paths logical (paths.h) and may hold blanks.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Runs one command. False when it failed; the failure is also reported once through the error
// reporter (by default a line on standard error; the window system shows a box).
bool mciExecute(std::string_view command);
// Runs one command as mciExecute does, without reporting a failure (mciLastError tells it):
// for callers that tell the outcome themselves.
bool mciExecuteQuiet(std::string_view command);

using MciErrorReporter = std::function<void(const std::string& message)>;
void setMciErrorReporter(MciErrorReporter reporter);
// The last failure's text, "" when the last command succeeded.
std::string mciLastError();

// Host directory where recordings stream while they run, under hidden names that carry the
// local time each take started (".cap44-take-20261207-153012.wav"); a save moves the take from
// there into place. The program sets its song folder; the default is the program folder
// "C:\Vemracd" when it exists, else the system's temporary directory.
void setMciScratchDir(const std::string& hostDir);
std::string mciScratchDir();

// A take kept under a name of its own because it could not be saved where it was meant to go,
// or because the program that recorded it ended during the take.
struct KeptTake {
  std::string path;    // host path of the file
  std::string name;    // "Recovered-20261207-153012.wav" (the local time the take started)
  std::string folder;  // as a message names it: the scratch folder's own name ("Mysong"), else
                       // the host path of the folder
};
// Keeps the take of recording device `alias` (stopped first) as a WAV whose header matches its
// samples, named "Recovered-YYYYMMDD-HHMMSS.wav" ("-2" ... before ".wav" when that exists),
// in the scratch folder (made again if it was removed), else the home folder, else the system's
// temporary folder: moved there when it can be, else copied. Nothing when no such device is
// open, its take holds no samples, or no folder can take it.
std::optional<KeptTake> mciKeepTake(std::string_view alias);
// The local time the take of recording device `alias` started, as a kept take is named after
// it ("20261207-153012"); "" for a device not open or never cued.
std::string mciTakeStamp(std::string_view alias);
// Keeps the take already saved at `path` (logical), started at `stamp` (mciTakeStamp; "": its
// length before its last write), as mciKeepTake would have kept it: the file leaves its place
// (moved, else copied and removed). Nothing when no folder takes it: the file then stays.
std::optional<KeptTake> mciKeepFile(std::string_view path, const std::string& stamp);
// Takes that a program which ended while recording left in the scratch folder (and in the
// program folder, where older versions scratched), each with its header fixed to its whole
// frames and kept as above; scratches without samples are removed, and a take that a running
// program still records is left alone.
std::vector<KeptTake> mciRecoverTakes();
// errno of the write that failed while recording device `alias` recorded (ENOSPC: the disk is
// full); 0 while every sample reached the disk, and for a device not open. The samples written
// before the failure stay in the take.
int mciWriteError(std::string_view alias);

// Names of the open devices (aliases and element paths), for tests and diagnostics.
std::vector<std::string> mciOpenDevices();
// Closes everything without reporting ("close all").
void mciReset();

// Every command string sent to mciExecute since the start (or the last clear), in order and
// exactly as given, failed ones included: tests check the strings the program sends.
const std::vector<std::string>& mciCommandLog();
void mciClearCommandLog();

}  // namespace platform
