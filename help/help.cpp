#include "help/help.h"

#include <cstdint>
#include <string>
#include <utility>

#include "app/application.h"
#include "help/texts.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"

namespace help {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;

namespace {

constexpr const char* kWindowName = "Vemrahelp";
constexpr std::string_view kTitle =
    " Click a button or panel - and full HELP will display. To exit -  click \"X\" --->> ";
constexpr double kClientWidth = 8910, kClientHeight = 6585;
constexpr double kWindowLeft = 900, kWindowTop = 900;  // first placed near the main window's corner
constexpr std::string_view kOpenedMessage = "All help files can be printed out using Notepad.";

// System colours, as a form designer leaves them: the window's text and background colours.
constexpr int32_t kWindowText = static_cast<int32_t>(0x80000008u);
constexpr int32_t kWindowBack = static_cast<int32_t>(0x80000005u);
constexpr int32_t kNavyText = 0xC00000;
constexpr double kDisplayTop = 1800;  // Mvhelp: the labels above it are grey, those below pale

enum Align { kLeft = 0, kRight = 1, kCentre = 2 };

// How a label differs from the window's common style (bordered, centred, default font; grey
// with window text above the display, pale with black text from the display down).
enum Style {
  kPlain,
  kCaptionLeft,
  kRecord,      // window background, red text
  kNavigation,  // navy text
  kNavigationLeft,
  kPv,          // black text, small font
  kStrip,       // grey, white text on the right, smallest font
  kPanel,       // transparent, white text
  kDisplay,     // the long-text display
};

struct LabelSpec {
  const char* name;
  const char* caption;
  double left, top, width, height;
  const char* tip;
  const char* topic;  // the label whose text a click shows; "" for none
  Style style = kPlain;
};

// The window's labels, in rows from the top (twips).
const LabelSpec kLabels[] = {
    {"Shelp", "S", 120, 120, 375, 255, "Click; Settings.", "Shelp"},
    {"Ohelp", "O", 480, 120, 375, 255,
     "Click; Other programs. eg : external editor, windows mixer, explorer.", "Ohelp"},
    {"Nhelp", "N", 840, 120, 375, 255, "Click; New features recently added.", "Nhelp"},
    {"Umsghlp", "Vemra Messages", 1800, 120, 6615, 255, "Messages to user.", "Umsghlp"},
    {"Sphelp", "MX-->1/2", 1800, 600, 765, 255,
     "Click; Splits Mix to T01 & 02 to add more tracks. UNLIMITED TRACKS.", "Sphelp"},
    {"Mxhelp", "MIXDOWN", 2520, 600, 855, 255, "Click; Mixes tracks to stereo master.", "Mxhelp"},
    {"Mphelp", "MP", 3240, 600, 315, 255,
     "Click; To play/stop mixdown  stereo master. Blue - no mix to play. Red - mix available to "
     "play.",
     "Mphelp"},
    {"Elhelp", "Elapsed", 3500, 600, 735, 255, "Elapsed time of song from zero.", "Elhelp"},
    {"Plhelp", "PLAY", 4220, 600, 735, 255, "Click; starts mix play.", "Plhelp"},
    {"frevlbl", "<<", 4940, 600, 255, 255, "Fast back (hold down/release button.)", "frevlbl"},
    {"ffwdlbl", ">>", 5180, 600, 255, 255, "Fast forward (hold down/release button.)", "ffwdlbl"},
    {"Sthelp", "STOP", 5420, 600, 735, 255, "Click stops play/rec. ", "Sthelp"},
    {"Puhelp", "From", 6140, 600, 735, 255, "Click while Playing ; Sets punch-in.", "Puhelp"},
    {"Pinbtnhlp", "P", 6860, 600, 195, 255,
     "Click: In STOP mode - Calls punch in dialog for record or playback .", "Pinbtnhlp"},
    {"Zehelp", "O", 7030, 600, 195, 255, "Click; Sets PLAY start to beginning of song.", "Zehelp"},
    {"t0114lbl", "01-14", 7200, 600, 645, 255, "Click; For mixer tracks T01 to T14", "tw8tks"},
    {"t1528lbl", "15-28", 7800, 600, 645, 255, "Click; For mixer tracks T15 to T28", "tw8tks"},
    {"Tnhelp", "Track 10", 120, 960, 735, 255, "", "Tnhelp"},
    {"Trhelp", "R10", 960, 960, 375, 255, "Click: To record.", "Trhelp", kRecord},
    {"Funhelp", "F10", 1440, 960, 375, 255, "Click; For track menu.", "Funhelp"},
    {"Tphelp", " Pan  /  Volume", 1920, 960, 1215, 255, "", "Tphelp"},
    {"minminushlp", "m -", 3240, 960, 375, 240, "back 1 min.", "minminushlp", kNavigation},
    {"minplushlp", "m +", 3720, 960, 375, 240, "adv 1 min.", "minplushlp", kNavigation},
    {"onesechlp", "1sec", 4200, 960, 375, 240, "zoom 1 sec", "onesechlp", kNavigationLeft},
    {"minushlp", "<", 4935, 960, 255, 255, "back 3 secs.", "minushlp", kNavigation},
    {"plushlp", ">", 5175, 960, 255, 255, "adv 3 secs.", "plushlp", kNavigation},
    {"PAllhlp", "P all", 6240, 960, 495, 255,
     "Click; Plays/stops mix from top left time in timeline.", "PAllhlp", kNavigation},
    {"latelbl", "1ms", 7080, 960, 540, 255, "millisec latency(for track shift).", "latelbl"},
    {"hidewavshlp", "HW", 8040, 960, 375, 255,
     "Click in STOP mode only; Hides/shows all waveforms. Can also click onTracks Fnn to "
     "hide/show  individual tracks.( usefull for slower PC's ).",
     "hidewavshlp"},
    {"vp1h", "PV", 3480, 1320, 375, 135, "Click; Sets pan/vol automation.", "vp1h", kPv},
    {"vp2h", "PV", 5000, 1320, 375, 135, "Click; Sets pan/vol automation.", "vp1h", kPv},
    {"vp3h", "PV", 6840, 1320, 375, 135, "Click; Sets pan/vol automation.", "vp1h", kPv},
    {"Tsthelp", "ST", 120, 1440, 375, 255, "Click; Records stereo track.", "Tsthelp", kRecord},
    {"T1314help", "1314", 600, 1440, 375, 255, "Click; Splits ST to 13 & 14. ", "T1314help"},
    {"Tdsthelp", "DST", 1080, 1440, 375, 255, "Click; Deletes stereo track.", "Tdsthelp"},
    {"P01Llbl", "R", 1920, 1440, 1215, 135, "", "P01Llbl", kStrip},
    {"wd01hlp", "Waveform Display Panel", 3360, 1440, 4710, 255, "Waveform display panel.",
     "wd01hlp", kPanel},
    {"Label2", "P", 1920, 1560, 1215, 135, "", "P01Llbl", kStrip},
    {"Mvhelp", "", 360, 1800, 7935, 3375, "", "", kDisplay},
    {"ovhelp", "Overview", 360, 5280, 735, 255, "", "ovhelp"},
    {"tw8tks", "28 Tracks ", 1200, 5280, 795, 255, "", "tw8tks"},
    {"Label3", "Automation", 2115, 5280, 855, 255, "", "P01Llbl", kCaptionLeft},
    {"vssets", "Vsets file", 3120, 5280, 690, 255, "", "vssets"},
    {"Label1", "SP buttons. (Rhythm/tekno)", 3960, 5280, 2055, 255, "", "Label1", kCaptionLeft},
    {"Ttips", "More Tips", 6120, 5280, 795, 255, "", ""},
    {"Trbhelp", "Trouble-shooting.", 7080, 5280, 1245, 255, "", "", kCaptionLeft},
    {"examl", "Part 1- Drum Track Tutorial", 360, 5640, 2055, 255, "", "examl"},
    {"examl2", "Part 2 - Drum Track Tutorial", 2760, 5640, 2055, 255, "", "examl2"},
    {"sccplbl", "V++, V--,  DA, SA, DR , SR, PR buttons.", 5280, 5640, 3015, 255, "", "sccplbl"},
};

// Captions that the window's font runs past their labels, or under the next label where two
// overlap: a smaller size of it fits each into the part of its label that shows.
const std::pair<const char*, double> kSmallCaptions[] = {
    {"Sphelp", 6.75}, {"Mxhelp", 6},    {"Mphelp", 6},   {"frevlbl", 6},   {"ffwdlbl", 6},
    {"T1314help", 6.75}, {"Label3", 7.5}, {"vssets", 7.5}, {"Label1", 7.5}, {"Trbhelp", 7.5},
};

void applyStyle(ui::Label& l, Style style) {
  const bool upper = l.top() < kDisplayTop;
  l.setBorder(true);
  l.setAlignment(kCentre);
  l.setBackColor(upper ? colour::kLightGrey : colour::kPaleGrey);
  l.setForeColor(upper ? kWindowText : colour::kBlack);
  switch (style) {
    case kPlain: break;
    case kCaptionLeft: l.setAlignment(kLeft); break;
    case kRecord:
      l.setBackColor(kWindowBack);
      l.setForeColor(colour::kRed);
      break;
    case kNavigation: l.setForeColor(kNavyText); break;
    case kNavigationLeft:
      l.setForeColor(kNavyText);
      l.setAlignment(kLeft);
      break;
    case kPv:
      l.setForeColor(colour::kBlack);
      l.setFont({"Small Fonts", 5.25});  // whole in the 9-pixel button
      break;
    case kStrip:
      l.setBackColor(colour::kGrey);
      l.setForeColor(colour::kWhite);
      l.setAlignment(kRight);
      l.setFont({"Small Fonts", 5.25});
      break;
    case kPanel:
      l.setTransparent(true);
      l.setForeColor(colour::kWhite);
      break;
    case kDisplay:
      l.setAlignment(kLeft);
      l.setWordWrap(true);
      l.setScrolling(true);
      break;
  }
}

}  // namespace

Help::Help(app::System& sys) : sys_(sys) {}

Help::~Help() {
  if (form_) sys_.app.releaseForm(std::move(form_));
}

void Help::wire() {
  sys_.form.HLPDOC->onClick = [this] { HLPDOC_Click(); };
}

void Help::build() {
  form_ = std::make_unique<ui::Form>(kWindowName);
  ui::Form& f = *form_;
  f.setTitle(kTitle);
  f.move(kWindowLeft, kWindowTop);
  f.resize(kClientWidth, kClientHeight);
  f.setBackColor(colour::kGrey);
  for (const LabelSpec& s : kLabels) {
    ui::Label& l = f.addLabel(s.name, s.caption, s.left, s.top, s.width, s.height);
    applyStyle(l, s.style);
    if (*s.tip) l.setToolTip(s.tip);
    // Labels that share a text all call the handler of the label that owns it.
    if (const std::string_view topic = s.topic; !topic.empty())
      l.onClick = [this, topic] { showTopic(topic); };
  }
  for (const auto& [name, points] : kSmallCaptions) f.at(name).setFont({{}, points});
  Mvhelp_ = static_cast<ui::Label*>(&f.at("Mvhelp"));
  f.at("Trbhelp").onClick = [this] { Trbhelp_Click(); };
  f.at("Ttips").onClick = [this] { Ttips_Click(); };
  f.onLoad = [this] { Form_Load(); };
  sys_.app.registerForm(f);
}

void Help::HLPDOC_Click() {
  if (!form_) build();
  form_->load();  // only when it is not loaded: a window already open keeps its text
  form_->show();
  sys_.form.Umsg->setCaption(kOpenedMessage);
}

void Help::show(std::string_view text) {
  hlptext = std::string(text);
  Mvhelp_->setCaption(hlptext);
}

void Help::Form_Load() { show(openingText()); }

void Help::showTopic(std::string_view label) { show(topicText(label)); }

void Help::Trbhelp_Click() { openHelpFile("TROUBLE.TXT"); }
void Help::Ttips_Click() { openHelpFile("MVTIPS.TXT"); }

void Help::openHelpFile(std::string_view file) {
  hlpdrv = platform::fixedLen(platform::curDir(), 1);
  const std::string command = "Notepad.exe " + hlpdrv + ":\\Vemracd\\" + std::string(file);
  if (platform::programExists(command) &&
      platform::shellExecute(command, platform::WindowMode::Normal))
    return;
  sys_.form.Umsg->setCaption(" No text editor could be started for " + std::string(file) +
                             ". Ready.");
}

}  // namespace help
