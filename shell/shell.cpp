#include "shell/shell.h"

#include "platform/files.h"
#include "shell/main_form.h"

namespace shell {

Shell::Shell(app::System& sys) : sys_(sys), form_(sys.form) {}

void Shell::wire() {
  wireStartup();
  wirePages();
  wireSettings();
  wireExit();
  wireMessages();
}

}  // namespace shell
