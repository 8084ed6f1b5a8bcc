// widget/command_line.h - the widget's own words on its command line, kept apart from Qt's.
// Qt's platforms take some long options as theirs (the X11 one reads --name as the window's
// resource name), so the widget's options are taken out before Qt sees the line.
#pragma once

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

}  // namespace nolt::widget
