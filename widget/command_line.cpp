#include "widget/command_line.h"

#include <algorithm>

namespace nolt::widget {

SplitCommandLine splitCommandLine(const std::vector<std::string>& args,
                                  std::initializer_list<std::string_view> valued) {
  SplitCommandLine out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      out.own.insert(out.own.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
      break;
    }
    if (arg == "-h" || arg == "--help" || arg == "-v" || arg == "--version") {
      out.own.push_back(arg);
      continue;
    }
    std::string_view name(arg);
    bool long_option = name.size() > 2 && name.substr(0, 2) == "--";
    name.remove_prefix(long_option ? 2 : name.size());
    auto equals = name.find('=');
    bool joined = equals != std::string_view::npos;
    if (long_option &&
        std::find(valued.begin(), valued.end(), name.substr(0, equals)) != valued.end()) {
      out.own.push_back(arg);
      // As QCommandLineParser reads it: the next word is the value, whatever it looks like.
      if (!joined && i + 1 < args.size()) out.own.push_back(args[++i]);
      continue;
    }
    out.forQt.push_back(arg);
  }
  return out;
}

bool holdsQtOptions(const std::vector<std::string>& forQt) {
  return std::any_of(forQt.begin(), forQt.end(), [](const std::string& word) {
    return word.size() > 1 && word[0] == '-' && word[1] != '-';
  });
}

bool namesPlatform(const std::vector<std::string>& forQt) {
  return std::any_of(forQt.begin(), forQt.end(), [](const std::string& word) {
    return word == "-platform" || word == "--platform";
  });
}

bool prefersXWayland(bool platformChosen, bool waylandSession, bool x11Available,
                     const std::function<bool()>& offersLayerShell) {
  return !platformChosen && waylandSession && x11Available && !offersLayerShell();
}

}  // namespace nolt::widget
