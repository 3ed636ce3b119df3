// The help window `Vemrahelp`: a compact copy of the main window's controls above one large
// display label `Mvhelp`, with two rows of further topics below it. A click on a label shows
// that control's or topic's text in the display; two labels open the program folder's text
// files in the desktop's text editor. The main window's HELP label opens the window.
//
// One object for the whole run, made by the application; the window itself is made on the
// first click of HELP and kept to the end (closing it only hides it; showing it again loads it
// again, which puts the opening text back).
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "app/system.h"

namespace platform::ui { class Form; class Label; }

namespace help {

class Help {
 public:
  explicit Help(app::System& sys);
  ~Help();
  Help(const Help&) = delete;
  Help& operator=(const Help&) = delete;

  // Attaches HLPDOC_Click to the main window's HELP label.
  void wire();

  // Makes the window on first use, shows it beside the main window (a shown window only comes
  // to the front, keeping its text) and says so in the message line.
  void HLPDOC_Click();

  // The window while it exists (nullptr before the first HELP click).
  platform::ui::Form* window() const { return form_.get(); }

  // ---- the window's handlers ----
  void Form_Load();  // the opening text
  // The topic handler of a label: builds its text in hlptext and shows it. A label that shares
  // another's text is shown that label's text.
  void showTopic(std::string_view label);
  void Trbhelp_Click();  // TROUBLE.TXT in the text editor
  void Ttips_Click();    // MVTIPS.TXT in the text editor

  std::string hlptext;     // the text last built
  std::string hlpdrv = " ";  // one character: the drive of the current directory

 private:
  void build();
  void show(std::string_view text);
  // Starts the desktop's text editor on a file of the program folder, one editor per call.
  void openHelpFile(std::string_view file);

  app::System& sys_;
  std::unique_ptr<platform::ui::Form> form_;
  platform::ui::Label* Mvhelp_ = nullptr;
};

}  // namespace help
