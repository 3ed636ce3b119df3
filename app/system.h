// The program's parts and how they reach each other: the main window and one object per
// subsystem. Each subsystem keeps a reference to this and calls its peers' public procedures.
#pragma once

namespace shell { class MainForm; class Shell; }
namespace transport { class Transport; }
namespace engine { class Engine; }
namespace waveform { class Waveform; }
namespace mixer { class Mixer; }
namespace help { class Help; }

namespace app {

class Application;

struct System {
  Application& app;
  shell::MainForm& form;
  shell::Shell* shell = nullptr;
  transport::Transport* transport = nullptr;
  engine::Engine* engine = nullptr;
  waveform::Waveform* waveform = nullptr;
  // The pan and volume faders, their automation modes, step entry and centre pan (the fader
  // state itself stays in the knobs' and strips' Tags).
  mixer::Mixer* mixer = nullptr;
  help::Help* help = nullptr;  // the help window and its texts
};

}  // namespace app
