#include "capture/json_fields.h"

namespace nolt::capture {

using wire::JSONObject;
using wire::JSONValue;

std::optional<JSONValue> decodeObject(std::string_view json) {
  std::optional<JSONValue> value;
  try {
    value = JSONValue::decode(json);
  } catch (const wire::JSONDecodingError&) {
    return std::nullopt;
  }
  if (!value->object()) return std::nullopt;
  return value;
}

bool readString(const JSONObject& object, std::string_view key, std::string& out) {
  const JSONValue* value = object.find(key);
  if (!value || !value->string()) return false;
  out = *value->string();
  return true;
}

bool readOptionalString(const JSONObject& object, std::string_view key,
                        std::optional<std::string>& out) {
  const JSONValue* value = object.find(key);
  if (!value || value->isNull()) return true;
  if (!value->string()) return false;
  out = *value->string();
  return true;
}

bool readNumber(const JSONObject& object, std::string_view key, double& out) {
  const JSONValue* value = object.find(key);
  if (!value || !value->number()) return false;
  out = *value->number();
  return true;
}

bool readUUID(const JSONObject& object, std::string_view key, platform::UUID& out) {
  const JSONValue* value = object.find(key);
  std::optional<platform::UUID> uuid =
      value && value->string() ? platform::UUID::parse(*value->string()) : std::nullopt;
  if (uuid) out = *uuid;
  return uuid.has_value();
}

bool readOptionalUUID(const JSONObject& object, std::string_view key,
                      std::optional<platform::UUID>& out) {
  const JSONValue* value = object.find(key);
  if (!value || value->isNull()) return true;
  platform::UUID uuid;
  if (!readUUID(object, key, uuid)) return false;
  out = uuid;
  return true;
}

}  // namespace nolt::capture
