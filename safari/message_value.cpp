#include "safari/message_value.h"

#include "capture/json_writer.h"
#include "platform/json_reader.h"

namespace nolt::safari {

namespace {

// Builds the value as the reader walks the text: one frame for each open array or dictionary,
// whose `key` is the member name waiting for its value.
class Builder {
 public:
  bool null() { return put(MessageValue()); }
  bool boolean(bool b) { return put(MessageValue(b)); }
  bool number(double d) { return put(MessageValue(d)); }
  bool string(std::string_view s) { return put(MessageValue(std::string(s))); }
  bool key(std::string_view k) {
    stack_.back().key = k;
    return true;
  }
  bool beginArray() {
    stack_.push_back({true, {}, {}, {}});
    return true;
  }
  bool beginObject() {
    stack_.push_back({false, {}, {}, {}});
    return true;
  }
  bool endArray() { return end(); }
  bool endObject() { return end(); }

  MessageValue result;

 private:
  struct Frame {
    bool isArray;
    MessageValue::Array array;
    MessageValue::Dictionary dictionary;
    std::string key;
  };

  bool end() {
    Frame done = std::move(stack_.back());
    stack_.pop_back();
    if (done.isArray) return put(MessageValue(std::move(done.array)));
    return put(MessageValue(std::move(done.dictionary)));
  }

  bool put(MessageValue v) {
    if (stack_.empty()) {
      result = std::move(v);
      return true;
    }
    Frame& top = stack_.back();
    if (top.isArray)
      top.array.push_back(std::move(v));
    else
      top.dictionary.insert_or_assign(top.key, std::move(v));
    return true;
  }

  std::vector<Frame> stack_;
};

}  // namespace

std::optional<MessageValue> MessageValue::parse(std::string_view json) {
  Builder builder;
  if (platform::json::read(json, builder)) return std::nullopt;
  return std::move(builder.result);
}

std::string MessageValue::json() const {
  std::string out;
  append(out);
  return out;
}

void MessageValue::append(std::string& out) const {
  if (isNull()) {
    out += "null";
  } else if (const bool* b = boolean()) {
    out += *b ? "true" : "false";
  } else if (const double* d = number()) {
    capture::appendJSONNumber(out, *d);
  } else if (const std::string* s = string()) {
    capture::appendJSONString(out, *s);
  } else if (const Array* a = array()) {
    out += '[';
    for (std::size_t i = 0; i < a->size(); ++i) {
      if (i) out += ',';
      (*a)[i].append(out);
    }
    out += ']';
  } else {
    capture::JSONObjectWriter object(out);
    for (const auto& [key, value] : *dictionary()) value.append(object.key(key));
    object.close();
  }
}

}  // namespace nolt::safari
