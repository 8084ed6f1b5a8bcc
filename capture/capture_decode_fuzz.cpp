// Both capture files decode from bytes nobody checked; whatever decodes must encode again and
// decode to the same value.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "capture/capture_destinations.h"
#include "capture/incoming_request.h"
#include "wire/json_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nolt::capture;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto request = IncomingRequest::decode(text)) {
    try {
      if (IncomingRequest::decode(request->encoded()) != request) std::abort();
    } catch (const nolt::wire::JSONEncodingError&) {
    }
  }
  if (auto destinations = CaptureDestinations::decode(text)) {
    if (CaptureDestinations::decode(destinations->encoded()) != destinations) std::abort();
  }
  return 0;
}
