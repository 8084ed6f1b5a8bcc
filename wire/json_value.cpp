#include "wire/json_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

#include "platform/json_reader.h"
#include "wire/json_writer.h"

namespace nolt::wire {

namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;

bool keyLess(const JSONObject::Member& a, std::string_view b) { return a.first < b; }

void hashCombine(std::size_t& seed, std::size_t h) {
  seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

}  // namespace

JSONObject::JSONObject(std::initializer_list<Member> members)
    : JSONObject(fromMembers(std::vector<Member>(members))) {}

JSONObject JSONObject::fromMembers(std::vector<Member> members) {
  auto less = [](const Member& a, const Member& b) { return a.first < b.first; };
  JSONObject o;
  // Text that this program wrote is already in order.
  if (std::adjacent_find(members.begin(), members.end(), [](const Member& a, const Member& b) {
        return !(a.first < b.first);
      }) == members.end()) {
    o.members_ = std::move(members);
    return o;
  }
  // Stable, so that among equal keys the later one ends up last and survives.
  if (members.size() <= 16) {
    for (std::size_t i = 1; i < members.size(); ++i)
      for (std::size_t j = i; j > 0 && less(members[j], members[j - 1]); --j)
        std::swap(members[j], members[j - 1]);
  } else {
    std::stable_sort(members.begin(), members.end(), less);
  }
  o.members_.reserve(members.size());
  for (Member& m : members) {
    if (!o.members_.empty() && o.members_.back().first == m.first)
      o.members_.back().second = std::move(m.second);
    else
      o.members_.push_back(std::move(m));
  }
  return o;
}

const JSONValue* JSONObject::find(std::string_view key) const {
  auto it = std::lower_bound(members_.begin(), members_.end(), key, keyLess);
  return it != members_.end() && it->first == key ? &it->second : nullptr;
}

void JSONObject::set(std::string key, JSONValue value) {
  auto it = std::lower_bound(members_.begin(), members_.end(), key, keyLess);
  if (it != members_.end() && it->first == key)
    it->second = std::move(value);
  else
    members_.emplace(it, std::move(key), std::move(value));
}

bool JSONObject::erase(std::string_view key) {
  auto it = std::lower_bound(members_.begin(), members_.end(), key, keyLess);
  if (it == members_.end() || it->first != key) return false;
  members_.erase(it);
  return true;
}

bool operator==(const JSONObject& a, const JSONObject& b) { return a.members_ == b.members_; }

bool JSONValueBuilder::null() { return put(JSONValue()); }
bool JSONValueBuilder::boolean(bool b) { return put(JSONValue(b)); }
bool JSONValueBuilder::number(double d) { return put(JSONValue(d)); }
bool JSONValueBuilder::string(std::string_view s) { return put(JSONValue(std::string(s))); }
bool JSONValueBuilder::key(std::string_view k) {
  stack_[depth_ - 1].key.assign(k);
  return true;
}
bool JSONValueBuilder::beginArray() { return open(false); }
bool JSONValueBuilder::endArray() {
  JSONArray elements = std::move(stack_[depth_ - 1].elements);
  return close(JSONValue(std::move(elements)));
}
bool JSONValueBuilder::beginObject() { return open(true); }
bool JSONValueBuilder::endObject() {
  std::vector<JSONObject::Member> members = std::move(stack_[depth_ - 1].members);
  return close(JSONValue(JSONObject::fromMembers(std::move(members))));
}

bool JSONValueBuilder::open(bool isObject) {
  if (depth_ == stack_.size()) stack_.emplace_back();
  Frame& frame = stack_[depth_++];
  frame.isObject = isObject;
  frame.elements.clear();
  frame.members.clear();
  return true;
}

bool JSONValueBuilder::put(JSONValue v) {
  if (depth_ == 0) {
    result_ = std::move(v);
  } else if (Frame& top = stack_[depth_ - 1]; top.isObject) {
    top.members.emplace_back(std::move(top.key), std::move(v));
  } else {
    top.elements.push_back(std::move(v));
  }
  return true;
}

bool JSONValueBuilder::close(JSONValue v) {
  --depth_;
  return put(std::move(v));
}

JSONValue JSONValue::decode(std::string_view text) {
  JSONValueBuilder builder;
  if (auto error = platform::json::read(text, builder)) throw JSONDecodingError(*error);
  return builder.take();
}

std::string JSONValue::encode(JSONEncoding encoding) const {
  std::string out;
  JSONWriter(out, encoding).value(*this);
  return out;
}

const JSONValue* JSONValue::subscript(std::string_view key) const {
  const JSONObject* o = object();
  return o ? o->find(key) : nullptr;
}

std::optional<std::string> JSONValue::stringValue() const {
  if (const std::string* s = string()) return *s;
  if (const double* d = number()) return decimalText(*d);
  return std::nullopt;
}

std::optional<std::int64_t> JSONValue::intValue() const {
  if (const double* d = number()) {
    double t = std::trunc(*d);
    if (!(t >= -kTwoTo63 && t < kTwoTo63)) return std::nullopt;  // also NaN
    return static_cast<std::int64_t>(t);
  }
  if (const std::string* s = string()) return parseDecimalInteger(*s);
  return std::nullopt;
}

std::vector<std::string> JSONValue::stringsValue() const {
  std::vector<std::string> texts;
  if (const JSONArray* a = array()) {
    for (const JSONValue& element : *a)
      if (element.string() || element.number()) texts.push_back(*element.stringValue());
  } else if (auto text = stringValue()) {
    texts.push_back(std::move(*text));
  }
  return texts;
}

std::string JSONValue::prettyText() const {
  try {
    return encode(JSONEncoding::pretty);
  } catch (const JSONEncodingError&) {
    return "null";
  }
}

std::size_t JSONValue::hash() const {
  std::size_t seed = value_.index();
  switch (kind()) {
    case Kind::null:
      break;
    case Kind::boolean:
      hashCombine(seed, *boolean());
      break;
    case Kind::number:
      hashCombine(seed, std::hash<double>{}(*number() + 0.0));
      break;  // -0 as 0
    case Kind::string:
      hashCombine(seed, std::hash<std::string>{}(*string()));
      break;
    case Kind::array:
      for (const JSONValue& e : *array()) hashCombine(seed, e.hash());
      break;
    case Kind::object:
      for (const auto& [key, value] : *object()) {
        hashCombine(seed, std::hash<std::string>{}(key));
        hashCombine(seed, value.hash());
      }
      break;
  }
  return seed;
}

std::optional<std::int64_t> parseDecimalInteger(std::string_view text) {
  std::size_t start = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (start == text.size()) return std::nullopt;
  for (std::size_t i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  if (text[0] == '+') text.remove_prefix(1);  // from_chars takes "-" but not "+"
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace nolt::wire
