#include "capture/json_tokens.h"

#include "platform/json_reader.h"

namespace nolt::capture {

namespace {

struct TokenSink {
  std::vector<JSONToken>& tokens;

  bool add(JSONToken::Type type) {
    tokens.push_back({type, {}});
    return true;
  }
  bool null() { return add(JSONToken::Type::null); }
  bool boolean(bool b) {
    tokens.push_back({JSONToken::Type::boolean, {}, 0, b});
    return true;
  }
  bool number(double d) {
    tokens.push_back({JSONToken::Type::number, {}, d});
    return true;
  }
  bool string(std::string_view s) {
    tokens.push_back({JSONToken::Type::string, std::string(s)});
    return true;
  }
  bool key(std::string_view s) {
    tokens.push_back({JSONToken::Type::key, std::string(s)});
    return true;
  }
  bool beginArray() { return add(JSONToken::Type::beginArray); }
  bool endArray() { return add(JSONToken::Type::endArray); }
  bool beginObject() { return add(JSONToken::Type::beginObject); }
  bool endObject() { return add(JSONToken::Type::endObject); }
};

}  // namespace

std::optional<std::vector<JSONToken>> tokenizeJSON(std::string_view text) {
  std::vector<JSONToken> tokens;
  TokenSink sink{tokens};
  if (platform::json::read(text, sink)) return std::nullopt;
  return tokens;
}

bool JSONTokenReader::readNull() {
  if (!at(JSONToken::Type::null)) return false;
  ++next_;
  return true;
}

bool JSONTokenReader::readString(std::string& out) {
  if (!at(JSONToken::Type::string)) return false;
  out = tokens_[next_++].text;
  return true;
}

bool JSONTokenReader::readNumber(double& out) {
  if (!at(JSONToken::Type::number)) return false;
  out = tokens_[next_++].number;
  return true;
}

bool JSONTokenReader::readObject(const std::function<bool(std::string_view key)>& member) {
  if (!at(JSONToken::Type::beginObject)) return false;
  ++next_;
  while (at(JSONToken::Type::key)) {
    const std::string& key = tokens_[next_++].text;
    if (!member(key)) return false;
  }
  ++next_;  // the tokenizer only gives balanced input, so this is the object's end
  return true;
}

bool JSONTokenReader::readArray(const std::function<bool()>& element) {
  if (!at(JSONToken::Type::beginArray)) return false;
  ++next_;
  while (!at(JSONToken::Type::endArray))
    if (!element()) return false;
  ++next_;
  return true;
}

void JSONTokenReader::skipValue() {
  std::size_t depth = 0;
  do {
    switch (tokens_[next_++].type) {
      case JSONToken::Type::beginArray:
      case JSONToken::Type::beginObject:
        ++depth;
        break;
      case JSONToken::Type::endArray:
      case JSONToken::Type::endObject:
        --depth;
        break;
      default:
        break;
    }
  } while (depth > 0);
}

bool JSONTokenReader::readOptionalString(std::optional<std::string>& out) {
  if (readNull()) {
    out.reset();
    return true;
  }
  std::string s;
  if (!readString(s)) return false;
  out = std::move(s);
  return true;
}

bool JSONTokenReader::readStrings(std::vector<std::string>& out) {
  out.clear();
  return readArray([&] {
    std::string s;
    if (!readString(s)) return false;
    out.push_back(std::move(s));
    return true;
  });
}

bool readJSONObject(std::string_view text,
                    const std::function<bool(JSONTokenReader&, std::string_view key)>& member) {
  std::optional<std::vector<JSONToken>> tokens = tokenizeJSON(text);
  if (!tokens) return false;
  JSONTokenReader reader(*tokens);
  return reader.readObject([&](std::string_view key) { return member(reader, key); });
}

}  // namespace nolt::capture
