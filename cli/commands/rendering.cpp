#include "cli/commands/rendering.h"

#include <cstddef>

#include "platform/json_text.h"

namespace nolt::commands {

using wire::JSONArray;
using wire::JSONValue;

namespace {

constexpr std::string_view kReplacement = platform::json::kReplacementCharacter;

// The code point of one well-formed UTF-8 sequence.
char32_t codePoint(std::string_view sequence) {
  auto byte = [&](std::size_t k) { return static_cast<char32_t>(sequence[k]) & 0xFF; };
  switch (sequence.size()) {
    case 1:
      return byte(0);
    case 2:
      return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
    case 3:
      return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
    default:
      return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 |
             (byte(3) & 0x3F);
  }
}

// What a terminal acts on instead of showing: C0 and C1 controls and DEL, and the
// bidirectional embeddings, overrides and isolates, which reorder the text after them (one
// item's title could make the next line read as another item's).
bool obeyedByTerminals(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

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
  std::string safe;
  safe.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      if ((b < 0x20 && b != '\n' && b != '\t') || b == 0x7F)
        safe += kReplacement;
      else
        safe += static_cast<char>(b);
      ++i;
      continue;
    }
    bool valid;
    std::size_t n = platform::json::utf8SequenceAt(text, i, valid);
    if (!valid || obeyedByTerminals(codePoint(text.substr(i, n)))) {
      safe += kReplacement;
      i += n;
      continue;
    }
    safe.append(text.substr(i, n));
    i += n;
  }
  return safe;
}

std::string terminalSafeJSON(std::string_view json) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string safe;
  safe.reserve(json.size());
  for (std::size_t i = 0; i < json.size();) {
    bool valid;
    std::size_t n = platform::json::utf8SequenceAt(json, i, valid);
    if (!valid) {  // the encoder writes none, but a terminal is never sent one
      safe += kReplacement;
      i += n;
      continue;
    }
    // Outside strings JSON text is ASCII without DEL, so each of these is inside a string.
    if (char32_t c = codePoint(json.substr(i, n)); c >= 0x7F && obeyedByTerminals(c)) {
      safe += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) safe += kHex[(c >> shift) & 0xF];
    } else {
      safe.append(json.substr(i, n));
    }
    i += n;
  }
  return safe;
}

}  // namespace nolt::commands
