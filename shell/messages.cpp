#include "shell/main_form.h"
#include "shell/shell.h"

namespace shell {

void Shell::wireMessages() {}
void Shell::Umsg_Click() {}
void Shell::tiplbl_Click() {}
void Shell::monolbl_Click() {}
void Shell::old_Click() {}
void Shell::mnuedit_Click() {}
void Shell::mnuwmix_Click() {}
void Shell::mnuwexp_Click() {}
void Shell::mnuwnote_Click() {}
void Shell::S_Click() {}
void Shell::netdoc_Click() {}
void Shell::Newsng_Click() {}
bool Shell::monoon() const { return false; }

}  // namespace shell
