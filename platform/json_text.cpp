#include "platform/json_text.h"

#include <cstdint>
#include <cstring>

namespace nolt::platform::json {

std::size_t utf8SequenceAt(std::string_view s, std::size_t i, bool& valid) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = byte(i);
  valid = true;
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) lo = 0xA0;  // no overlong forms
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) lo = 0x90;  // no overlong forms
    if (lead == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
  } else {
    valid = false;
    return 1;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (i + k >= s.size() || byte(i + k) < lo || byte(i + k) > hi) {
      valid = false;
      return k;
    }
    lo = 0x80;
    hi = 0xBF;
  }
  return length;
}

std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
  bool valid;
  std::size_t length = utf8SequenceAt(s, i, valid);
  return valid ? length : 0;
}

std::size_t firstInvalidUTF8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    if (i + 8 <= s.size()) {
      std::uint64_t word;
      std::memcpy(&word, s.data() + i, 8);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    bool valid;
    std::size_t n = utf8SequenceAt(s, i, valid);
    if (!valid) return i;
    i += n;
  }
  return std::string_view::npos;
}

std::string replaceInvalidUTF8(std::string_view s) {
  std::size_t i = firstInvalidUTF8(s);
  if (i == std::string_view::npos) return std::string(s);
  std::string text(s.substr(0, i));
  while (i < s.size()) {
    bool valid;
    std::size_t n = utf8SequenceAt(s, i, valid);
    if (valid)
      text.append(s.substr(i, n));
    else
      text.append(kReplacementCharacter);
    i += n;
  }
  return text;
}

void appendString(std::string& out, std::string_view s, bool escapeSlash) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t run = 0;  // start of the bytes not yet copied
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\' && (c != '/' || !escapeSlash)) {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      bool valid;
      std::size_t n = utf8SequenceAt(s, i, valid);
      if (!valid) {
        out.append(s.substr(run, i - run));
        out += kReplacementCharacter;
        run = i + n;
      }
      i += n;
      continue;
    }
    out.append(s.substr(run, i - run));
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '/':
        out += "\\/";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
    run = ++i;
  }
  out.append(s.substr(run));
  out += '"';
}

}  // namespace nolt::platform::json
