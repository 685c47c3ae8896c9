// The help viewer. Help texts live in the folder AJUDA of the installation, one file per
// topic. A ".HLP" file is a run of fixed-length lines of one screen width (80 bytes), with no
// line ends; inside a line the byte 30 switches highlight on and off, 31 underline and 16
// reverse. Under the graphical system the suite shows the topic's ".HTM" page instead.
#ifndef PALVORIN_SCREEN_HELP_H_
#define PALVORIN_SCREEN_HELP_H_

#include <string_view>

namespace palvorin {

// The topic of the suite menu's own help, which F1 opens from inside any help page.
inline constexpr std::string_view kMenuHelpTopic = "QOLVENAR";

// Shows the help of `topic`. In platform mode "WIN" it runs the suite's start command on the
// topic's page through the command interpreter named by COMSPEC and waits for it. Otherwise it
// pages through "AJUDA\" + topic + ".HLP" under the current folder (for an operator whose
// language has its own help, "AJUDA\SPA\" + topic + ".HLP" and so on, when it exists) in a
// window over rows 4 to 22 until Esc (Up, Down, PgUp, PgDn, Home, End move; F1 shows the menu's help over it), then
// leaves the screen as it was. A missing file gives an empty pager.
void ShowHelp(std::string_view topic);

}  // namespace palvorin

#endif  // PALVORIN_SCREEN_HELP_H_
