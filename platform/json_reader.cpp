#include "platform/json_reader.h"

#include <charconv>
#include <cmath>

namespace nolt::platform::json {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Order of magnitude of valid JSON number text whose value is out of a double's range: above
// zero means too large, otherwise too small. The exponent saturates rather than overflowing.
long long magnitude(std::string_view text) {
  std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  long long order = 0;
  bool seen = false;  // a non-zero digit
  long long intDigits = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    if (seen || text[i] != '0') {
      if (!seen) order = 0;
      seen = true;
      ++intDigits;
    }
  }
  if (seen) order = intDigits - 1;
  if (i < text.size() && text[i] == '.') {
    long long position = 0;
    for (++i; i < text.size() && isDigit(text[i]); ++i) {
      ++position;
      if (!seen && text[i] != '0') {
        seen = true;
        order = -position;
      }
    }
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long exponent = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    order += negative ? -exponent : exponent;
  }
  return order;
}

}  // namespace

std::optional<double> numberFromText(std::string_view text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size()) return value;
  if (ec == std::errc::result_out_of_range && magnitude(text) <= 0)
    return (!text.empty() && text[0] == '-') ? -0.0 : 0.0;
  return std::nullopt;
}

namespace detail {

boost::json::parse_options parseOptions() {
  boost::json::parse_options options;
  options.max_depth = kMaxDepth;
  return options;
}

std::string errorText(const boost::json::error_code& ec, std::size_t offset, bool outOfRange,
                      bool incomplete) {
  std::string where = " at byte " + std::to_string(offset);
  if (outOfRange) return "number out of range" + where;
  if (incomplete) return "unexpected end of JSON text";
  if (!ec) return "extra text after the JSON value" + where;
  return ec.message() + where;
}

}  // namespace detail
}  // namespace nolt::platform::json
