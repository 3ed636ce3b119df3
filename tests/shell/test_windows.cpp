// The application's window registry: companion windows found by name once registered, forgotten
// when released, and a window that releases itself from inside its own handler deleted only
// after that handler has returned.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;

class WindowsTest : public test_support::ProgramTest {};

TEST_F(WindowsTest, CompanionWindowsAreFoundUntilReleased) {
  program = std::make_unique<app::Application>();
  ASSERT_EQ(program->forms().size(), 1u);
  EXPECT_EQ(program->form("FormMV2000"), &program->mainForm());
  EXPECT_EQ(program->form("Form2"), nullptr);

  auto form2 = std::make_unique<ui::Form>("Form2");
  auto trackmod = std::make_unique<ui::Form>("Trackmod");
  ui::Form* f2 = form2.get();
  program->registerForm(*form2);
  program->registerForm(*trackmod);
  program->registerForm(*form2);  // twice: still one entry
  ASSERT_EQ(program->forms().size(), 3u);
  EXPECT_EQ(program->forms()[1], f2);
  EXPECT_EQ(program->form("Trackmod"), trackmod.get());

  program->releaseForm(std::move(form2));
  EXPECT_EQ(program->form("Form2"), nullptr);
  EXPECT_EQ(program->form("Trackmod"), trackmod.get());
  program->releaseForm(nullptr);  // nothing to release
  program->releaseForm(std::move(trackmod));
  EXPECT_EQ(program->forms().size(), 1u);
}

TEST_F(WindowsTest, AWindowReleasingItselfInItsHandlerGoesAfterTheHandler) {
  program = std::make_unique<app::Application>();
  auto owned = std::make_unique<ui::Form>("Trackmod");
  ui::Form* form = owned.get();
  ui::Label& ok = form->addLabel("okbtn", "OK", 0, 0, 600, 255);
  program->registerForm(*form);
  form->show();

  bool ranToTheEnd = false;
  ok.onClick = [&] {
    program->releaseForm(std::move(owned));
    // Still here: the label and its window are used after the release.
    ok.setCaption("closing");
    EXPECT_EQ(form->at("okbtn").caption(), "closing");
    EXPECT_EQ(program->form("Trackmod"), nullptr);
    ranToTheEnd = true;
  };
  ok.click();  // the sanitizer catches a use after free here
  EXPECT_TRUE(ranToTheEnd);
  EXPECT_EQ(program->forms().size(), 1u);
}

}  // namespace
