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
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Runs one command. False when it failed; the failure is also reported once through the error
// reporter (by default a line on standard error; the window system shows a box).
bool mciExecute(std::string_view command);

using MciErrorReporter = std::function<void(const std::string& message)>;
void setMciErrorReporter(MciErrorReporter reporter);
// The last failure's text, "" when the last command succeeded.
std::string mciLastError();

// Host directory where recordings stream while they run (default: the program folder
// "C:\Vemracd" when it exists, else the system's temporary directory).
void setMciScratchDir(const std::string& hostDir);
std::string mciScratchDir();

// Names of the open devices (aliases and element paths), for tests and diagnostics.
std::vector<std::string> mciOpenDevices();
// Closes everything without reporting ("close all").
void mciReset();

// Every command string sent to mciExecute since the start (or the last clear), in order and
// exactly as given, failed ones included: tests check the strings the program sends.
const std::vector<std::string>& mciCommandLog();
void mciClearCommandLog();

}  // namespace platform
