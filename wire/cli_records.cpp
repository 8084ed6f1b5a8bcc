#include "wire/cli_records.h"

#include "wire/json_writer.h"

namespace nolt::wire {

JSONValue CLIRequest::toJSON() const {
  return JSONObject{{"command", command}, {"arguments", arguments}};
}

std::string CLIRequest::encode() const { return toJSON().encode(JSONEncoding::plain); }

CLIRequest CLIRequest::decode(std::string_view text) { return fromJSON(JSONValue::decode(text)); }

CLIRequest CLIRequest::fromJSON(const JSONValue& v) {
  const JSONValue* command = v.subscript("command");
  const JSONValue* arguments = v.subscript("arguments");
  if (!command || !command->string()) throw JSONDecodingError("request without a command");
  if (!arguments || !arguments->object()) throw JSONDecodingError("request without arguments");
  return CLIRequest{*command->string(), *arguments->object()};
}

JSONValue CLIResponse::toJSON() const {
  JSONObject o;
  if (result) o.set("result", *result);
  if (error) o.set("error", *error);
  return o;
}

std::string CLIResponse::encode() const {
  // Written member by member, in the sorted order toJSON's object has: a result of many
  // megabytes is written where it is, not copied into a reply object first.
  std::string text;
  JSONWriter writer(text, JSONEncoding::plain);
  writer.beginObject();
  if (error) {
    writer.key("error");
    writer.string(*error);
  }
  if (result) {
    writer.key("result");
    writer.value(*result);
  }
  writer.endObject();
  return text;
}

CLIResponse CLIResponse::decode(std::string_view text) {
  JSONValue v = JSONValue::decode(text);
  if (!v.object()) throw JSONDecodingError("a reply must be a JSON object");
  CLIResponse response;
  if (const JSONValue* result = v.subscript("result"); result && !result->isNull())
    response.result = *result;
  if (const JSONValue* error = v.subscript("error"); error && !error->isNull()) {
    if (!error->string()) throw JSONDecodingError("a reply's error must be text");
    response.error = *error->string();
  }
  return response;
}

}  // namespace nolt::wire
