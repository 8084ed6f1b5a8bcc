// wire/cli_records.h - the wire format between nolt and the host: one request, one reply.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "wire/json_value.h"

namespace nolt::wire {

// What nolt asks of the host: a command name and its arguments, `{}` when there are none.
struct CLIRequest {
  std::string command;
  JSONObject arguments;

  JSONValue toJSON() const;
  std::string encode() const;  // compact; throws JSONEncodingError
  // Both keys are required: "command" a string, "arguments" an object.
  static CLIRequest decode(std::string_view text);     // throws JSONDecodingError
  static CLIRequest fromJSON(const JSONValue& value);  // throws JSONDecodingError

  friend bool operator==(const CLIRequest&, const CLIRequest&) = default;
};

// What the host answers. A missing or null member is absent; other members are ignored.
struct CLIResponse {
  std::optional<JSONValue> result;
  std::optional<std::string> error;  // present: the request failed, with a text for people

  JSONValue toJSON() const;
  std::string encode() const;
  // Any object; "error" must be a string when present and not null.
  static CLIResponse decode(std::string_view text);  // throws JSONDecodingError

  friend bool operator==(const CLIResponse&, const CLIResponse&) = default;
};

}  // namespace nolt::wire
