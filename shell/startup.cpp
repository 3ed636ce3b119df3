#include "shell/main_form.h"
#include "shell/shell.h"

namespace shell {

void Shell::wireStartup() {}
void Shell::Form_Load() {}
void Shell::MVinitialise() {}
bool Shell::FileExists(std::string_view) const { return false; }

}  // namespace shell
