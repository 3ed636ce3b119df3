#include "app/application.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/mci.h"
#include "platform/sound.h"
#include "platform/ui.h"
#include "app/system.h"
#include "engine/engine.h"
#include "help/help.h"
#include "mixer/mixer.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace app {

struct Application::Impl {
  std::unique_ptr<shell::MainForm> main;
  std::unique_ptr<System> sys;
  std::unique_ptr<shell::Shell> shell;
  std::unique_ptr<transport::Transport> transport;
  std::unique_ptr<engine::Engine> engine;
  std::unique_ptr<waveform::Waveform> waveform;
  std::unique_ptr<mixer::Mixer> mixer;
  std::unique_ptr<help::Help> help;
  std::vector<platform::ui::Form*> companions;  // registered companion windows, in order made
  std::map<std::string, std::function<std::string()>> vars;
  bool finished = false;
  int status = 0;
};

Application::Application() : impl_(std::make_unique<Impl>()) {
  impl_->main = std::make_unique<shell::MainForm>();
  shell::MainForm& m = *impl_->main;

  // A failed device command shows one box with the failure's text.
  platform::setMciErrorReporter([](const std::string& text) { platform::ui::msgBox(text); });

  impl_->sys = std::make_unique<System>(System{*this, m});
  System& sys = *impl_->sys;
  impl_->shell = std::make_unique<shell::Shell>(sys);
  impl_->transport = std::make_unique<transport::Transport>(sys);
  impl_->waveform = std::make_unique<waveform::Waveform>(sys);
  impl_->engine = std::make_unique<engine::Engine>(sys);
  impl_->mixer = std::make_unique<mixer::Mixer>(sys);
  impl_->help = std::make_unique<help::Help>(sys);
  sys.shell = impl_->shell.get();
  sys.transport = impl_->transport.get();
  sys.waveform = impl_->waveform.get();
  sys.engine = impl_->engine.get();
  sys.mixer = impl_->mixer.get();
  sys.help = impl_->help.get();

  // The window's close box ends the program unless a handler kept the window open; the shell's
  // exit handler takes this over when it is wired.
  m.onUnload = [this](int& cancel) {
    if (cancel == 0) setFinished();
  };
  impl_->shell->wire();
  impl_->transport->wire();
  impl_->mixer->wire();
  impl_->waveform->wire();
  impl_->help->wire();
}

System& Application::system() { return *impl_->sys; }

Application::~Application() {
  // The subsystems go before the window whose controls they use; the companion windows go
  // with the subsystems that own them.
  impl_->help.reset();
  impl_->mixer.reset();
  impl_->engine.reset();
  impl_->waveform.reset();
  impl_->transport.reset();
  impl_->shell.reset();
  platform::setMciErrorReporter(nullptr);
  if (impl_->finished) platform::setEnding(false);  // a later program object starts afresh
}

shell::MainForm& Application::mainForm() { return *impl_->main; }

void Application::show() {
  impl_->main->show();
  // The input stream opens once the window is up, so that no take waits for it.
  platform::openInputStreamSoon();
}

void Application::start() { impl_->main->load(); }

platform::ui::Form* Application::form(const std::string& name) {
  for (platform::ui::Form* f : forms())
    if (f->name() == name) return f;
  return nullptr;
}

std::vector<platform::ui::Form*> Application::forms() {
  std::vector<platform::ui::Form*> all{impl_->main.get()};
  all.insert(all.end(), impl_->companions.begin(), impl_->companions.end());
  return all;
}

void Application::registerForm(platform::ui::Form& form) {
  auto& c = impl_->companions;
  if (std::find(c.begin(), c.end(), &form) == c.end()) c.push_back(&form);
}

void Application::releaseForm(std::unique_ptr<platform::ui::Form> form) {
  if (!form) return;
  std::erase(impl_->companions, form.get());
  platform::ui::deleteLater(std::move(form));
}

void Application::registerVar(const std::string& name, std::function<std::string()> read) {
  impl_->vars[name] = std::move(read);
}

std::optional<std::string> Application::var(const std::string& name) const {
  auto it = impl_->vars.find(name);
  if (it == impl_->vars.end() || !it->second) return std::nullopt;
  return it->second();
}

std::vector<std::string> Application::varNames() const {
  std::vector<std::string> names;
  for (const auto& [name, read] : impl_->vars) names.push_back(name);
  return names;  // sorted: the map keeps its keys in order
}

bool Application::finished() const { return impl_->finished; }

int Application::exitStatus() const { return impl_->status; }

void Application::setFinished(int status) {
  impl_->finished = true;
  if (status != 0) impl_->status = status;  // a later plain ending keeps it
  // Every wait and loop still running (a handler inside its nested loop) returns now.
  platform::setEnding(true);
}

}  // namespace app
