#include "shell/main_form.h"
#include "shell/shell.h"

namespace shell {

void Shell::wireSettings() {}
void Shell::rmixrec() {}
void Shell::wmixrec() {}

}  // namespace shell
