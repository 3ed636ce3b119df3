// control_rects: prints where the main window's controls lie, as the window shows them, for
// scripts that click them: one line per visible control, "NAME LEFT TOP WIDTH HEIGHT" in pixels
// of the window's client area, taken from the window's design.
#include <cmath>
#include <cstdio>

#include "shell/main_form.h"

namespace {
// As the widgets place them: to the nearest pixel.
long pixels(const platform::ui::Control& c, double v) {
  return std::lround(c.unit() == platform::ui::Unit::Twips ? v / platform::ui::kTwipsPerPixel : v);
}
}  // namespace

int main() {
  using platform::ui::Kind;
  const shell::MainForm form;
  for (const platform::ui::Control* c : form.controls()) {
    if (!c->visible() || (c->kind() != Kind::Label && c->kind() != Kind::TextBox)) continue;
    std::printf("%s %ld %ld %ld %ld\n", c->name().c_str(), pixels(*c, c->left()),
                pixels(*c, c->top()), pixels(*c, c->width()), pixels(*c, c->height()));
  }
  return 0;
}
