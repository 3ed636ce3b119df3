// The whole program in one object: the mixer display and its companion windows, wired to the
// subsystems' handlers. main() makes one inside a QApplication; the scenario runner makes one
// under the simulated clock and the offline sound backend.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui { class Form; }
namespace shell { class MainForm; }

namespace app {

struct System;

class Application {
 public:
  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The main window `FormMV2000`; shown by show(), its load handler run by start().
  shell::MainForm& mainForm();
  // The subsystems.
  System& system();
  void show();
  void start();  // raises the main window's load event (start-up)

  // Any window by its documented name ("FormMV2000", "Form2", "Trackmod", "Vemrahelp"), or
  // nullptr while that window does not exist.
  platform::ui::Form* form(const std::string& name);
  std::vector<platform::ui::Form*> forms();
  // Companion windows: their owner registers each when it makes it, and gives it back through
  // releaseForm() when it goes, which forgets it and deletes it once no handler runs (so a
  // window may release itself from inside its own handler).
  void registerForm(platform::ui::Form& form);
  void releaseForm(std::unique_ptr<platform::ui::Form> form);

  // Named state fields for tests and the scenario runner (playfrom, recbusy, tpmode, ...).
  // Each subsystem registers its own; unknown names give nothing.
  void registerVar(const std::string& name, std::function<std::string()> read);
  std::optional<std::string> var(const std::string& name) const;
  std::vector<std::string> varNames() const;

  // True once the program has ended (the main window closed or QUIT, or start-up refused to
  // run); the event loop and the scenario runner stop then. The status is the process's exit
  // status: 0 unless the ending said otherwise.
  bool finished() const;
  void setFinished(int status = 0);
  int exitStatus() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace app
