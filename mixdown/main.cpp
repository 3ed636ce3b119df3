// Mv01.exe: the sibling mixdown program. Started without arguments; finds its program folder
// from its own location, mixes tracks 01-14 of the song as `Parms` asks and writes `Mix.wav`.
// Exit status 0 on success, else 1 with one line on standard error naming the reason.
#include <cstdio>
#include <exception>

#include "mixdown/mixdown.h"

int main(int argc, char** argv) {
  mixdown::Result r;
  try {
    const std::string folder = mixdown::programFolder(argc > 0 ? argv[0] : nullptr);
    r = folder.empty() ? mixdown::Result{false, "cannot find the program folder"}
                       : mixdown::run(folder);
  } catch (const std::exception& e) {
    r = {false, e.what()};
  }
  if (r.ok) return 0;
  std::fprintf(stderr, "Mv01: %s\n", r.error.c_str());
  return 1;
}
