// wire/json_value.h - the one JSON value type of every program here, and its views.
// null, bool, number, string, array or object; integers are numbers too. Values are plain
// values: copies are independent, equality is structural and objects compare as maps.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/json_reader.h"

namespace nolt::wire {

class JSONValue;

// Members of an object, kept sorted by key with unique keys; insertion order is not kept.
class JSONObject {
 public:
  using Member = std::pair<std::string, JSONValue>;
  using const_iterator = std::vector<Member>::const_iterator;

  JSONObject() = default;
  JSONObject(std::initializer_list<Member> members);  // a later duplicate key wins

  const JSONValue* find(std::string_view key) const;
  bool contains(std::string_view key) const { return find(key) != nullptr; }
  void set(std::string key, JSONValue value);
  bool erase(std::string_view key);

  std::size_t size() const;
  bool empty() const;
  const_iterator begin() const;
  const_iterator end() const;

  // Takes members in any order; sorts them and keeps the last of duplicate keys.
  static JSONObject fromMembers(std::vector<Member> members);

  friend bool operator==(const JSONObject&, const JSONObject&);

 private:
  std::vector<Member> members_;
};

using JSONArray = std::vector<JSONValue>;

// How JSON text is written.
enum class JSONEncoding {
  plain,   // compact; "/" written as "\/"
  stream,  // compact; "/" as it stands
  pretty,  // one member per line, keys sorted, "/" as it stands
  spaced,  // one line, ", " and ": " between items, "/" as it stands: scripts' usual form
};

// Text that is not one valid JSON value; what() says why.
class JSONDecodingError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A value JSON cannot express (a number that is not finite).
class JSONEncodingError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

class JSONValue {
 public:
  // The order of the cases is the discriminator fed to the hash.
  enum class Kind { null, boolean, number, string, array, object };

  JSONValue() = default;
  JSONValue(std::nullptr_t) {}
  JSONValue(bool b) : value_(b) {}
  template <class N>
  requires(std::is_arithmetic_v<N> && !std::same_as<N, bool>) JSONValue(N n)
      : value_(static_cast<double>(n)) {}
  JSONValue(const char* s) : value_(std::string(s)) {}
  JSONValue(std::string_view s) : value_(std::string(s)) {}
  JSONValue(std::string s) : value_(std::move(s)) {}
  JSONValue(JSONArray a) : value_(std::move(a)) {}
  JSONValue(JSONObject o) : value_(std::move(o)) {}

  // Decodes UTF-8 text holding exactly one JSON value.
  static JSONValue decode(std::string_view text);   // throws JSONDecodingError
  std::string encode(JSONEncoding encoding) const;  // throws JSONEncodingError (json_writer.h)

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool isNull() const { return kind() == Kind::null; }
  // The payload when the value is of that case, else null.
  const bool* boolean() const { return std::get_if<bool>(&value_); }
  const double* number() const { return std::get_if<double>(&value_); }
  const std::string* string() const { return std::get_if<std::string>(&value_); }
  const JSONArray* array() const { return std::get_if<JSONArray>(&value_); }
  const JSONObject* object() const { return std::get_if<JSONObject>(&value_); }

  // The member under `key`; none when this is not an object or has no such member.
  const JSONValue* subscript(std::string_view key) const;
  // A string as it stands, a number as its decimal text; none otherwise.
  std::optional<std::string> stringValue() const;
  // A number truncated toward zero, or a string of decimal digits with an optional sign.
  std::optional<std::int64_t> intValue() const;
  // A string or number as one text; the string and number elements of an array.
  std::vector<std::string> stringsValue() const;
  // Indented JSON with sorted keys; "null" when the value cannot be written.
  std::string prettyText() const;

  std::size_t hash() const;
  friend bool operator==(const JSONValue&, const JSONValue&) = default;

 private:
  std::variant<std::nullptr_t, bool, double, std::string, JSONArray, JSONObject> value_;
};

// Defined here, where JSONValue is complete.
inline std::size_t JSONObject::size() const { return members_.size(); }
inline bool JSONObject::empty() const { return members_.empty(); }
inline JSONObject::const_iterator JSONObject::begin() const { return members_.begin(); }
inline JSONObject::const_iterator JSONObject::end() const { return members_.end(); }

// Builds a value from a JSON reader's events (platform/json_reader.h) with a stack of its own,
// so deep nesting costs heap, not call stack; frames are reused, so a document allocates little
// beyond its values.
class JSONValueBuilder : public platform::json::Sink {
 public:
  bool null() override;
  bool boolean(bool b) override;
  bool number(double d) override;
  bool string(std::string_view s) override;
  bool key(std::string_view k) override;
  bool beginArray() override;
  bool endArray() override;
  bool beginObject() override;
  bool endObject() override;

  JSONValue take() { return std::move(result_); }

 private:
  struct Frame {
    bool isObject = false;
    JSONArray elements;
    std::vector<JSONObject::Member> members;
    std::string key;
  };

  bool open(bool isObject);
  // Kept out of line: inlined into every event, gcc 12 takes the moved-from values for
  // uninitialized.
  [[gnu::noinline]] bool put(JSONValue v);
  bool close(JSONValue v);

  std::vector<Frame> stack_;
  std::size_t depth_ = 0;
  JSONValue result_;
};

// The signed 64-bit integer written as an optional sign and ASCII digits, nothing else.
std::optional<std::int64_t> parseDecimalInteger(std::string_view text);

}  // namespace nolt::wire

template <>
struct std::hash<nolt::wire::JSONValue> {
  std::size_t operator()(const nolt::wire::JSONValue& v) const { return v.hash(); }
};
