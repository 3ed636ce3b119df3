#include "shell/main_form.h"
#include "shell/shell.h"

namespace shell {

void Shell::wirePages() {}
void Shell::t0114_Click() {}
void Shell::t1528_Click() {}
bool Shell::page1528() const { return false; }

}  // namespace shell
