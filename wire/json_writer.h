// wire/json_writer.h - the one JSON writer: whole values, or objects member by member in the
// order a file's layout gives. Every JSON text the programs write goes through it, so numbers
// and strings read the same in the port's frames, the capture files and printed output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "wire/json_value.h"

namespace nolt::wire {

// Appends JSON text to a string. The writer keeps no stack: callers close what they open and
// give a key before each member's value, as the record encoders do.
class JSONWriter {
 public:
  JSONWriter(std::string& out, JSONEncoding encoding);

  // Objects of a JSONValue come out sorted by key. Throws JSONEncodingError.
  void value(const JSONValue& v);
  // Throws JSONEncodingError for infinities and NaN.
  void number(double n);
  void string(std::string_view s);
  void boolean(bool b);
  void null();

  void beginArray();
  void endArray();
  void beginObject();
  void key(std::string_view name);
  void endObject();

  // One object of `members` in the order given, for files whose layout fixes it.
  void object(const std::vector<JSONObject::Member>& members);

 private:
  void beforeValue();
  void newline();
  void close(char bracket);

  std::string& out_;
  bool pretty_;
  bool escapeSlash_;
  std::string_view comma_;  // between items
  std::string_view colon_;  // after a key
  int depth_ = 0;
  bool filled_ = false;    // the innermost open array or object has an item already
  bool afterKey_ = false;  // the next value is a member's, its key already written
};

// 20, -3, 0 for integral numbers within 64 bits, so counts and codes read as integers; else
// the shortest text that reads back the same (2.5, 0.1, 1e+20).
std::string decimalText(double number);

}  // namespace nolt::wire
