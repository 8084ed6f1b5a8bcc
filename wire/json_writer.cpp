#include "wire/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/json_text.h"

namespace nolt::wire {

namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;

void appendDecimalText(std::string& out, double number) {
  char buffer[32];
  std::to_chars_result r;
  if (std::trunc(number) == number && number >= -kTwoTo63 && number < kTwoTo63)
    r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(number));
  else
    r = std::to_chars(buffer, buffer + sizeof buffer, number);
  out.append(buffer, r.ptr);
}

}  // namespace

JSONWriter::JSONWriter(std::string& out, JSONEncoding encoding)
    : out_(out),
      pretty_(encoding == JSONEncoding::pretty),
      escapeSlash_(encoding == JSONEncoding::plain),
      comma_(encoding == JSONEncoding::spaced ? ", " : ","),
      colon_(encoding == JSONEncoding::pretty   ? " : "
             : encoding == JSONEncoding::spaced ? ": "
                                                : ":") {}

void JSONWriter::value(const JSONValue& v) {
  switch (v.kind()) {
    case JSONValue::Kind::null:
      null();
      break;
    case JSONValue::Kind::boolean:
      boolean(*v.boolean());
      break;
    case JSONValue::Kind::number:
      number(*v.number());
      break;
    case JSONValue::Kind::string:
      string(*v.string());
      break;
    case JSONValue::Kind::array:
      beginArray();
      for (const JSONValue& element : *v.array()) value(element);
      endArray();
      break;
    case JSONValue::Kind::object:
      // Members are kept sorted, which the pretty form needs and the others allow.
      beginObject();
      for (const auto& [name, member] : *v.object()) {
        key(name);
        value(member);
      }
      endObject();
      break;
  }
}

void JSONWriter::number(double n) {
  if (!std::isfinite(n))
    throw JSONEncodingError("JSON cannot hold the number " + std::to_string(n));
  beforeValue();
  appendDecimalText(out_, n);
}

void JSONWriter::string(std::string_view s) {
  beforeValue();
  platform::json::appendString(out_, s, escapeSlash_);
}

void JSONWriter::boolean(bool b) {
  beforeValue();
  out_ += b ? "true" : "false";
}

void JSONWriter::null() {
  beforeValue();
  out_ += "null";
}

void JSONWriter::beginArray() {
  beforeValue();
  out_ += '[';
  ++depth_;
  filled_ = false;
}

void JSONWriter::endArray() { close(']'); }

void JSONWriter::beginObject() {
  beforeValue();
  out_ += '{';
  ++depth_;
  filled_ = false;
}

void JSONWriter::key(std::string_view name) {
  beforeValue();
  platform::json::appendString(out_, name, escapeSlash_);
  out_ += colon_;
  afterKey_ = true;
}

void JSONWriter::endObject() { close('}'); }

void JSONWriter::object(const std::vector<JSONObject::Member>& members) {
  beginObject();
  for (const auto& [name, member] : members) {
    key(name);
    value(member);
  }
  endObject();
}

// A value that follows its key goes straight after it; any other item of an array or object is
// set off from the one before.
void JSONWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (depth_ == 0) return;
  if (filled_) out_ += comma_;
  filled_ = true;
  if (pretty_) newline();
}

void JSONWriter::newline() {
  out_ += '\n';
  out_.append(static_cast<std::size_t>(depth_) * 2, ' ');
}

// A closed array or object is itself an item of the one around it, which therefore has one.
void JSONWriter::close(char bracket) {
  --depth_;
  if (filled_ && pretty_) newline();
  out_ += bracket;
  filled_ = true;
}

std::string decimalText(double number) {
  std::string text;
  appendDecimalText(text, number);
  return text;
}

}  // namespace nolt::wire
