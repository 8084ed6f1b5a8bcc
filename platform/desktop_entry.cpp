#include "platform/desktop_entry.h"

namespace nolt::platform {

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Escapes of the string value type; an unknown escape is kept as written.
std::string unescapeString(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c != '\\' || i + 1 == value.size()) {
      out += c;
      continue;
    }
    switch (value[++i]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += value[i];
    }
  }
  return out;
}

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool isQuotedEscape(char c) { return c == '"' || c == '`' || c == '$' || c == '\\'; }

// Field codes that expand to nothing when no files or URLs are opened; %i, %c and %k would
// give the icon, name and location, which a program started in the background does not need.
bool isDroppedFieldCode(char c) {
  constexpr std::string_view kDropped = "fFuUickdDnNvm";
  return kDropped.find(c) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> desktopEntryValue(std::string_view fileText, std::string_view key) {
  bool inEntry = false;
  bool seenEntry = false;
  while (!fileText.empty()) {
    std::size_t end = fileText.find('\n');
    std::string_view line = fileText.substr(0, end);
    fileText.remove_prefix(end == std::string_view::npos ? fileText.size() : end + 1);
    line = trimmed(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      if (inEntry) return std::nullopt;  // the group ended without the key
      inEntry = !seenEntry && line == "[Desktop Entry]";
      seenEntry = seenEntry || inEntry;
      continue;
    }
    if (!inEntry) continue;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (trimmed(line.substr(0, equals)) == key)
      return std::string(trimmed(line.substr(equals + 1)));
  }
  return std::nullopt;
}

ExecCommand parseExecLine(std::string_view value) {
  std::string text = unescapeString(value);

  // Split into words; `quoted` remembers words that were written, even if they end up empty.
  struct Word {
    std::string text;
    bool quoted = false;
  };
  std::vector<Word> words;
  bool inWord = false;
  bool inQuotes = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
      } else if (c == '\\' && i + 1 < text.size() && isQuotedEscape(text[i + 1])) {
        words.back().text += text[++i];
      } else {
        words.back().text += c;
      }
      continue;
    }
    if (isSeparator(c)) {
      inWord = false;
      continue;
    }
    if (!inWord) {
      words.emplace_back();
      inWord = true;
    }
    if (c == '"') {
      inQuotes = true;
      words.back().quoted = true;
    } else {
      words.back().text += c;
    }
  }
  if (inQuotes) return {{}, "the Exec line has an unclosed quote"};

  ExecCommand command;
  for (const Word& word : words) {
    std::string expanded;
    bool onlyCodes = !word.quoted;
    for (std::size_t i = 0; i < word.text.size(); ++i) {
      char c = word.text[i];
      if (c != '%') {
        expanded += c;
        onlyCodes = false;
        continue;
      }
      if (i + 1 == word.text.size()) return {{}, "the Exec line ends in a lone %"};
      char code = word.text[++i];
      if (code == '%') {
        expanded += '%';
        onlyCodes = false;
      } else if (!isDroppedFieldCode(code)) {
        return {{}, std::string("the Exec line has an unknown field code %") + code};
      }
    }
    if (expanded.empty() && onlyCodes) continue;
    command.arguments.push_back(std::move(expanded));
  }
  if (command.arguments.empty() || command.arguments.front().empty())
    return {{}, "the Exec line names no program"};
  return command;
}

}  // namespace nolt::platform
