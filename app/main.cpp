// The program's entry point. The mixer display and its start-up come with the window layer.
#include <cstdio>

int main() {
  std::fprintf(stderr, "vemracd: the mixer display is not built yet.\n");
  return 1;
}
