// The program's parts and how they reach each other: the main window and one object per
// subsystem. Each subsystem keeps a reference to this and calls its peers' public procedures.
#pragma once

namespace shell { class MainForm; class Shell; }
namespace transport { class Transport; }
namespace engine { class Engine; }
namespace waveform { class Waveform; }

namespace app {

class Application;

struct System {
  Application& app;
  shell::MainForm& form;
  shell::Shell* shell = nullptr;
  transport::Transport* transport = nullptr;
  engine::Engine* engine = nullptr;
  waveform::Waveform* waveform = nullptr;
};

}  // namespace app
