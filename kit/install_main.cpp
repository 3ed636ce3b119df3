// vemra-install-kit [DRIVE_ROOT [MV01_EXE]]
// Puts the program folder kit under the drive root ($VEMRA_DRIVE, else $HOME, by default):
// what is missing is installed, what the user has is kept, Mv01.exe is refreshed from the build.
// Exit status 0 when everything needed is in place, 1 when something could not be installed.
#include <cstdio>
#include <cstring>
#include <string>

#include "kit/kit.h"
#include "platform/paths.h"

#ifndef VEMRA_MV01_EXE
#define VEMRA_MV01_EXE ""
#endif

int main(int argc, char** argv) {
  if (argc > 3 || (argc > 1 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")))) {
    std::fprintf(stderr, "usage: %s [DRIVE_ROOT [MV01_EXE]]\n", argv[0]);
    return argc > 3 ? 2 : 0;
  }
  const std::string root = argc > 1 ? argv[1] : platform::driveRoot();
  const std::string mv01 = argc > 2 ? argv[2] : VEMRA_MV01_EXE;
  const kit::InstallResult r = kit::install(root, mv01);
  std::printf("Program folder kit under %s\n", root.c_str());
  for (const kit::Entry& e : r.entries) {
    std::printf("  %-13s %s%s%s\n", kit::outcomeName(e.outcome), e.name.c_str(),
                e.message.empty() ? "" : ": ", e.message.c_str());
  }
  if (!r.ok()) std::fprintf(stderr, "vemra-install-kit: the kit is incomplete (see above)\n");
  return r.ok() ? 0 : 1;
}
