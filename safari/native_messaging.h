// safari/native_messaging.h - the browser's native-messaging stream: each message is a 4-byte
// length in this machine's byte order, then that many bytes of UTF-8 JSON. Replies go back the
// same way. The host serves messages until the browser closes its end.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "safari/extension_context.h"

namespace nolt::safari {

// The most a message may declare. A larger length means the stream is not what we expect (or
// the browser's limit changed): the host stops rather than trying to hold it.
inline constexpr std::uint32_t kMaxMessageSize = 64u << 20;

// The most a browser takes in one message from a native host (1 MiB). A longer reply would
// be dropped by the browser and the extension left without an answer.
inline constexpr std::uint32_t kMaxReplySize = 1u << 20;

enum class FrameStatus {
  message,    // a whole frame was read
  end,        // the input ended cleanly between frames
  truncated,  // the input ended inside a frame
  oversized,  // the frame declared more than kMaxMessageSize
};

// Reads one frame into `message`. Memory grows with the bytes that really arrive, not with the
// length a frame claims.
FrameStatus readFrame(std::istream& in, std::string& message);
// Writes and flushes one frame; false when the output failed.
bool writeFrame(std::ostream& out, std::string_view message);

// One request for each frame: its single input item's userInfo holds the parsed JSON under
// SFExtensionMessageKey (JSON that does not parse leaves the key out, so the handler sees an
// empty message and answers with an error). A reply over kMaxReplySize goes out as
// {"ok":false,"error":"replyTooLarge"}, which the browser does take. Returns 0 when the input ended
// between frames or the browser went away while we replied, 1 when the stream was truncated or
// oversized.
int serve(std::istream& in, std::ostream& out,
          const std::function<void(ExtensionContext&)>& beginRequest);

}  // namespace nolt::safari
