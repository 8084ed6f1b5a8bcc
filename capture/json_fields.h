// capture/json_fields.h - reading the capture files' JSON: a text to its object, and readers of
// an object's members. Each reader answers false when its member is missing (unless optional)
// or of the wrong kind; a missing optional member, or null, leaves the field absent.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/uuid.h"
#include "wire/json_value.h"

namespace nolt::capture {

// The text's value when it is one JSON document holding an object; none otherwise.
std::optional<wire::JSONValue> decodeObject(std::string_view json);

bool readString(const wire::JSONObject& object, std::string_view key, std::string& out);
bool readOptionalString(const wire::JSONObject& object, std::string_view key,
                        std::optional<std::string>& out);
bool readNumber(const wire::JSONObject& object, std::string_view key, double& out);
bool readUUID(const wire::JSONObject& object, std::string_view key, platform::UUID& out);
bool readOptionalUUID(const wire::JSONObject& object, std::string_view key,
                      std::optional<platform::UUID>& out);

}  // namespace nolt::capture
