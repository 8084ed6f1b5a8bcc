// capture/json_tokens.h - JSON text as a flat list of tokens, and a reader that walks it.
// The record decoders read their fields straight off the tokens: one pass, no value tree,
// and a field of the wrong type stops the decoding at once.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nolt::capture {

struct JSONToken {
  enum class Type {
    null,
    boolean,
    number,
    string,
    key,
    beginArray,
    endArray,
    beginObject,
    endObject
  };
  Type type;
  std::string text;  // of a string or key
  double number = 0;
  bool boolean = false;
};

// None when the text is not one valid JSON document (platform/json_reader.h's rules).
std::optional<std::vector<JSONToken>> tokenizeJSON(std::string_view text);

// Each read consumes one whole value and returns false when it is not of the asked type;
// after a false the reader is where the value started and decoding is meant to stop.
class JSONTokenReader {
 public:
  explicit JSONTokenReader(const std::vector<JSONToken>& tokens) : tokens_(tokens) {}

  bool atEnd() const { return next_ == tokens_.size(); }
  bool readNull();
  bool readString(std::string& out);
  bool readNumber(double& out);
  // `member` is called with each key and must read that member's value.
  bool readObject(const std::function<bool(std::string_view key)>& member);
  // `element` is called once for each element and must read it.
  bool readArray(const std::function<bool()>& element);
  void skipValue();

  // A string, or a null or missing key that leaves `out` absent.
  bool readOptionalString(std::optional<std::string>& out);
  bool readStrings(std::vector<std::string>& out);

 private:
  const JSONToken* peek() const { return atEnd() ? nullptr : &tokens_[next_]; }
  bool at(JSONToken::Type type) const { return peek() && peek()->type == type; }

  const std::vector<JSONToken>& tokens_;
  std::size_t next_ = 0;
};

// Reads `text` as one JSON object: `member` is called with each key and must read (or skip)
// that member's value. False when the text is not such an object or a member says so.
bool readJSONObject(std::string_view text,
                    const std::function<bool(JSONTokenReader&, std::string_view key)>& member);

}  // namespace nolt::capture
