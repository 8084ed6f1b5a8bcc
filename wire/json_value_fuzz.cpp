// Decodes arbitrary bytes; whatever decodes must encode and decode back to the same value.
#include <cstdint>
#include <cstdlib>

#include "wire/cli_records.h"
#include "wire/json_value.h"

using nolt::wire::JSONEncoding;
using nolt::wire::JSONValue;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  JSONValue value;
  try {
    value = JSONValue::decode(text);
  } catch (const nolt::wire::JSONDecodingError&) {
    return 0;
  }
  for (auto encoding : {JSONEncoding::plain, JSONEncoding::stream, JSONEncoding::pretty}) {
    if (!(JSONValue::decode(value.encode(encoding)) == value)) std::abort();
  }
  (void)value.stringValue();
  (void)value.intValue();
  (void)value.stringsValue();
  try {
    (void)nolt::wire::CLIResponse::decode(text);
  } catch (const nolt::wire::JSONDecodingError&) {
  }
  return 0;
}
