#include "capture/json_writer.h"

#include <charconv>
#include <cmath>

#include "platform/json_text.h"

namespace nolt::capture {

namespace {

constexpr double kTwoTo53 = 9007199254740992.0;

}  // namespace

void appendJSONString(std::string& out, std::string_view s) {
  platform::json::appendString(out, s, true);
}

void appendJSONNumber(std::string& out, double number) {
  if (!std::isfinite(number))
    throw EncodingError("JSON cannot hold the number " + std::to_string(number));
  char buffer[32];
  std::to_chars_result r;
  // Whole numbers that a double holds exactly read best without an exponent: 0, not 0e0.
  if (std::trunc(number) == number && std::fabs(number) <= kTwoTo53)
    r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(number));
  else
    r = std::to_chars(buffer, buffer + sizeof buffer, number);
  out.append(buffer, r.ptr);
}

std::string& JSONObjectWriter::key(std::string_view name) {
  if (!first_) out_ += ',';
  first_ = false;
  appendJSONString(out_, name);
  out_ += ':';
  return out_;
}

}  // namespace nolt::capture
