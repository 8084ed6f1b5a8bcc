#include "cli/commands/rendering.h"

#include <cstddef>

#include "platform/json_text.h"

namespace nolt::commands {

using link::JSONArray;
using link::JSONValue;

namespace {

// The text of a multi-line field, such as a note's body, as the host sent it.
std::string textOf(const JSONValue* value) {
  if (!value) return {};
  return value->stringValue().value_or(std::string());
}

// Every field but a note's body is one line of its item, and scripts read one item per line:
// line breaks of any kind (CR LF counting as one) and tabs become spaces.
std::string singleLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    std::string_view rest = text.substr(i);
    if (c == '\r' && rest.substr(1, 1) == "\n") continue;
    if (c == '\n' || c == '\r' || c == '\t' || c == '\v' || c == '\f') {
      line += ' ';
    } else if (rest.starts_with("\xC2\x85")) {  // NEL
      line += ' ';
      i += 1;
    } else if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9")) {
      line += ' ';  // line and paragraph separators
      i += 2;
    } else {
      line += c;
    }
  }
  return line;
}

std::string lineOf(const JSONValue* value) { return singleLine(textOf(value)); }

const JSONArray* arrayMember(const JSONValue& result, std::string_view key) {
  const JSONValue* member = result.subscript(key);
  return member ? member->array() : nullptr;
}

std::string tagText(const JSONValue* tags) {
  std::string text;
  if (!tags) return text;
  for (const std::string& tag : tags->stringsValue()) {
    if (!text.empty()) text += ' ';
    text += '#';
    text += singleLine(tag);
  }
  return text;
}

}  // namespace

Rendered renderSearch(const JSONValue& result) {
  Rendered rendered;
  const JSONArray* items = arrayMember(result, "items");
  std::size_t n = items ? items->size() : 0;
  if (items) {
    for (const JSONValue& item : *items) {
      if (item.object()) {
        rendered.out += lineOf(item.subscript("id")) + "  " + lineOf(item.subscript("title"));
        if (std::string tags = tagText(item.subscript("tags")); !tags.empty())
          rendered.out += "  " + tags;
      } else {
        rendered.out += "  ";
      }
      rendered.out += '\n';
    }
  }
  const JSONValue* totalValue = result.subscript("total");
  auto count = static_cast<std::int64_t>(n);
  std::int64_t total = (totalValue ? totalValue->intValue() : std::nullopt).value_or(count);
  if (count < total)
    rendered.err = std::to_string(count) + " of " + std::to_string(total) + " items\n";
  else
    rendered.err = std::to_string(total) + " items\n";
  return rendered;
}

std::string renderNotes(const JSONValue& result) {
  std::string out;
  const JSONArray* notes = arrayMember(result, "notes");
  if (!notes) return out;
  for (const JSONValue& note : *notes) {
    if (!note.object()) {
      out += "  \n";
      continue;
    }
    out += lineOf(note.subscript("id")) + "  " + lineOf(note.subscript("title"));
    const JSONValue* rule = note.subscript("rule");
    if (rule && rule->boolean() && *rule->boolean()) out += "  [rule]";
    out += '\n';
    // Blank lines of the note are dropped.
    std::string text = textOf(note.subscript("text"));
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      if (end > start) out += "    " + text.substr(start, end - start) + "\n";
      start = end + 1;
    }
  }
  return out;
}

std::string renderSpaces(const JSONValue& result) {
  std::string out;
  if (!result.array()) return out;
  for (const JSONValue& space : *result.array()) {
    if (!space.object()) {
      out += "  \n";
      continue;
    }
    std::string label;
    for (std::string_view key : {"emoji", "name"}) {
      std::string part = lineOf(space.subscript(key));
      if (part.empty()) continue;
      if (!label.empty()) label += ' ';
      label += part;
    }
    out += lineOf(space.subscript("id")) + "  " + label + "\n";
  }
  return out;
}

std::string renderCollections(const JSONValue& result) {
  std::string out;
  if (!result.array()) return out;
  for (const JSONValue& collection : *result.array()) {
    const JSONValue* items = collection.subscript("items");
    std::int64_t count = (items ? items->intValue() : std::nullopt).value_or(0);
    // A space that is present but empty stays empty; only a missing one reads "?".
    const JSONValue* space = collection.subscript("space");
    std::optional<std::string> spaceText = space ? space->stringValue() : std::nullopt;
    out += lineOf(collection.subscript("id")) + "  " + lineOf(collection.subscript("name")) +
           "  (" + std::to_string(count) + " in " + singleLine(spaceText.value_or("?")) + ")\n";
  }
  return out;
}

std::string renderNoteSaved(const JSONValue& result) {
  return "Saved note " + lineOf(result.subscript("id")) + "\n";
}

std::string renderJSON(const JSONValue& result) { return result.prettyText() + "\n"; }

std::string terminalSafe(std::string_view text) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string safe;
  safe.reserve(text.size());
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  for (std::size_t i = 0; i < text.size();) {
    unsigned char b = byte(i);
    if (b < 0x80) {
      bool control = (b < 0x20 && b != '\n' && b != '\t') || b == 0x7F;
      if (control)
        safe += kReplacement;
      else
        safe += static_cast<char>(b);
      ++i;
      continue;
    }
    std::size_t n = platform::json::utf8SequenceLength(text, i);
    bool wellFormed = n > 0;
    // C1 controls are U+0080 to U+009F: 0xC2 0x80 to 0xC2 0x9F.
    bool c1 = wellFormed && b == 0xC2 && byte(i + 1) <= 0x9F;
    if (!wellFormed || c1) {
      safe += kReplacement;
      i += wellFormed ? n : 1;
      continue;
    }
    safe.append(text.substr(i, n));
    i += n;
  }
  return safe;
}

}  // namespace nolt::commands
