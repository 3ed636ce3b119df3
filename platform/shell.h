// Starting outside programs: argv only, never through a shell.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class WindowMode { Normal, Hidden };

// A documented command line resolved to a host program and its arguments. The Windows programs
// the documents name map to the desktop's own: notepad (with or without C:\Windows\, any case)
// -> text editor; explorer.exe -> file manager; sndvol32.exe -> sound mixer; start.exe with a
// "file:///C|/..." URL -> URL opener. Other programs: logical path -> host path; a host absolute
// path passes through. The argument's logical path is mapped too.
struct ResolvedCommand {
  std::string program;             // host path of the executable; "" when not found
  std::vector<std::string> args;   // argv[1..]
};
ResolvedCommand resolveCommand(std::string_view commandLine);

// True when the program of the command line exists (resolves to an executable host file).
bool programExists(std::string_view commandLine);

// Starts the command detached, not waited for. False (and nothing happens) when the program
// is missing or cannot be started.
bool shellExecute(std::string_view commandLine, WindowMode mode = WindowMode::Normal);

// Starts the command and calls onExit(exitCode) on the UI thread (inside a later yield or from
// the event loop) when it ends; exitCode -1 when it died by a signal. False when it cannot be
// started (onExit is then never called).
bool shellExecuteAttached(std::string_view commandLine, WindowMode mode,
                          std::function<void(int exitCode)> onExit);
// Reaps finished attached children and runs their callbacks; called by every yield.
void pollChildren();
int attachedChildren();

// Every start asked of shellExecute and shellExecuteAttached, in order: the command line as
// given, the host program it resolved to ("" when none was found) and its arguments.
struct ProgramStart {
  std::string commandLine;
  std::string program;
  std::vector<std::string> args;
  WindowMode mode = WindowMode::Normal;
  bool attached = false;
  bool started = false;  // a process was made (or, simulated, would have been)
};
const std::vector<ProgramStart>& programStarts();
void clearProgramStarts();

// Test hook: detached starts (outside programs) are logged and answered as if made when their
// program exists, but no process is made. Attached starts (the sibling mixdown) still run.
void setDetachedStartsSimulated(bool on);

// Test hook: resolve the documented desktop programs to these host programs instead.
struct DesktopPrograms {
  std::string textEditor, fileManager, soundMixer, urlOpener;
};
void setDesktopPrograms(const DesktopPrograms& programs);
// Back to the programs found on PATH.
void resetDesktopPrograms();

}  // namespace platform
