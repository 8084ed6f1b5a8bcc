// widget/command_line.h - the widget's own words on its command line, kept apart from Qt's.
// Qt's platforms take some long options as theirs (the X11 one reads --name as the window's
// resource name), so the widget's options are taken out before Qt sees the line.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace nolt::widget {

struct SplitCommandLine {
  std::vector<std::string> own;    // the widget's options with their values, and words after "--"
  std::vector<std::string> forQt;  // everything else, in its order, for QGuiApplication
};

// `valued` names the widget's options that take a value (--NAME VALUE or --NAME=VALUE); -h,
// --help, -v and --version are the widget's too. A valued option at the end of the line stays
// the widget's, without its value, for the parser to report.
SplitCommandLine splitCommandLine(const std::vector<std::string>& args,
                                  std::initializer_list<std::string_view> valued);

// Whether Qt may take any of its words: Qt's options are single-dash words (-platform NAME,
// -display :1, …). A line with none is as wrong with Qt as without, so it can be answered
// before a display is opened.
bool holdsQtOptions(const std::vector<std::string>& forQt);

// Whether Qt's words name a platform (-platform NAME, --platform NAME).
bool namesPlatform(const std::vector<std::string>& forQt);

// Whether the widget goes through XWayland: on a Wayland session with an X server beside it,
// when nobody chose a Qt platform and the compositor offers no layer shell (asked last, as it
// means a connection). X11 is where the window manager keeps it on the desktop by its hints;
// natively it would be a plain window.
bool prefersXWayland(bool platformChosen, bool waylandSession, bool x11Available,
                     const std::function<bool()>& offersLayerShell);

}  // namespace nolt::widget
