#include "shell/main_form.h"
#include "shell/shell.h"

namespace shell {

void Shell::wireExit() {}
void Shell::QUIT_Click() {}
void Shell::Form_Unload(int&) {}

}  // namespace shell
