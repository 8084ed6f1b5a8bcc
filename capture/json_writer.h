// capture/json_writer.h - compact JSON text as the capture files use it.
// Like the system's default encoder: no spaces, "/" written as "\/", whole numbers without a
// fraction, other numbers in the shortest text that reads back as the same double.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace nolt::capture {

// A value JSON cannot hold (a number that is not finite).
class EncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Bytes that are not UTF-8 are written as U+FFFD, so the text is always valid JSON.
void appendJSONString(std::string& out, std::string_view text);
// Throws EncodingError for infinities and NaN.
void appendJSONNumber(std::string& out, double number);

// Writes the members of one object in the order they are given.
class JSONObjectWriter {
 public:
  explicit JSONObjectWriter(std::string& out) : out_(out) { out_ += '{'; }
  // Starts a member; the caller appends its value next.
  std::string& key(std::string_view name);
  void string(std::string_view name, std::string_view value) { appendJSONString(key(name), value); }
  void number(std::string_view name, double value) { appendJSONNumber(key(name), value); }
  void close() { out_ += '}'; }

 private:
  std::string& out_;
  bool first_ = true;
};

}  // namespace nolt::capture
