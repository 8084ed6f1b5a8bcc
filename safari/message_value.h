// safari/message_value.h - a value of a native message or reply: null, bool, number, string,
// array or dictionary, as the browser's JSON gives them.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace nolt::safari {

class MessageValue {
 public:
  using Array = std::vector<MessageValue>;
  using Dictionary = std::map<std::string, MessageValue, std::less<>>;

  MessageValue() = default;  // null
  MessageValue(bool b) : value_(b) {}
  MessageValue(double d) : value_(d) {}
  MessageValue(std::string s) : value_(std::move(s)) {}
  MessageValue(const char* s) : value_(std::string(s)) {}
  MessageValue(Array a) : value_(std::move(a)) {}
  MessageValue(Dictionary d) : value_(std::move(d)) {}

  // Each view is none (a null pointer) when the value is of another type.
  const bool* boolean() const { return std::get_if<bool>(&value_); }
  const double* number() const { return std::get_if<double>(&value_); }
  const std::string* string() const { return std::get_if<std::string>(&value_); }
  const Array* array() const { return std::get_if<Array>(&value_); }
  const Dictionary* dictionary() const { return std::get_if<Dictionary>(&value_); }
  bool isNull() const { return std::holds_alternative<std::nullptr_t>(value_); }

  // None when the text is not one JSON document; a repeated key keeps its last value.
  static std::optional<MessageValue> parse(std::string_view json);
  // Compact JSON text.
  std::string json() const;

  friend bool operator==(const MessageValue&, const MessageValue&) = default;

 private:
  void append(std::string& out) const;

  std::variant<std::nullptr_t, bool, double, std::string, Array, Dictionary> value_;
};

}  // namespace nolt::safari
