#include "host/titles.h"

#include "platform/json_text.h"

namespace nolt::host {

namespace {

// Where the character after the first `count` characters of `text` starts; its size when it
// has no more. Bytes that are not UTF-8 count as characters, as they are shown as one each.
std::size_t offsetAfterCharacters(std::string_view text, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < count && at < text.size(); ++n) {
    bool valid;
    at += platform::json::utf8SequenceAt(text, at, valid);
  }
  return at;
}

}  // namespace

std::string titleOfText(std::string_view text) {
  constexpr std::size_t kLongest = 60;  // characters
  std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  std::string_view line = text.substr(start);
  line = line.substr(0, line.find('\n'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
  std::size_t end = offsetAfterCharacters(line, kLongest);
  if (end == line.size()) return std::string(line);
  std::string_view cut = line.substr(0, end);
  // At a word when one ends in the second half.
  if (std::size_t space = cut.rfind(' ');
      space != std::string_view::npos && space > offsetAfterCharacters(line, kLongest / 2))
    cut = cut.substr(0, space);
  return std::string(cut) + "…";
}

std::string titleOfFileName(std::string_view name) {
  std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace nolt::host
