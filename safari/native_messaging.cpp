#include "safari/native_messaging.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

namespace nolt::safari {

namespace {

// Reads up to `size` bytes; returns how many arrived before the input ended.
std::size_t readSome(std::istream& in, char* buffer, std::size_t size) {
  in.read(buffer, static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(in.gcount());
}

class FrameContext final : public ExtensionContext {
 public:
  explicit FrameContext(std::string_view json) {
    ExtensionItem item{wire::JSONObject{}};
    try {
      item.userInfo->set(std::string(SFExtensionMessageKey), wire::JSONValue::decode(json));
    } catch (const wire::JSONDecodingError&) {
      // Left without a message: the handler answers as for an empty one.
    }
    items_.push_back(std::move(item));
  }

  const std::vector<ExtensionItem>& inputItems() const override { return items_; }
  void completeRequest(std::vector<ExtensionItem> items) override { reply_ = std::move(items); }

  // The reply item's message as JSON; none when the request was not completed with one.
  std::optional<std::string> replyJSON() const {
    if (reply_.empty() || !reply_.front().userInfo) return std::nullopt;
    const wire::JSONValue* message = reply_.front().userInfo->find(SFExtensionMessageKey);
    if (!message) return std::nullopt;
    return message->encode(wire::JSONEncoding::plain);
  }

 private:
  std::vector<ExtensionItem> items_;
  std::vector<ExtensionItem> reply_;
};

}  // namespace

FrameStatus readFrame(std::istream& in, std::string& message) {
  message.clear();
  char header[4];
  std::size_t got = readSome(in, header, sizeof header);
  if (got == 0) return FrameStatus::end;
  if (got < sizeof header) return FrameStatus::truncated;
  std::uint32_t length;
  std::memcpy(&length, header, sizeof length);
  if (length > kMaxMessageSize) return FrameStatus::oversized;

  constexpr std::size_t kChunk = 1 << 16;
  while (message.size() < length) {
    std::size_t want = std::min<std::size_t>(kChunk, length - message.size());
    std::size_t start = message.size();
    message.resize(start + want);
    std::size_t arrived = readSome(in, message.data() + start, want);
    message.resize(start + arrived);
    if (arrived < want) return FrameStatus::truncated;
  }
  return FrameStatus::message;
}

bool writeFrame(std::ostream& out, std::string_view message) {
  auto length = static_cast<std::uint32_t>(message.size());
  char header[4];
  std::memcpy(header, &length, sizeof header);
  out.write(header, sizeof header);
  out.write(message.data(), static_cast<std::streamsize>(message.size()));
  out.flush();
  return static_cast<bool>(out);
}

int serve(std::istream& in, std::ostream& out,
          const std::function<void(ExtensionContext&)>& beginRequest) {
  std::string message;
  while (true) {
    switch (readFrame(in, message)) {
      case FrameStatus::end:
        return 0;
      case FrameStatus::truncated:
      case FrameStatus::oversized:
        return 1;
      case FrameStatus::message:
        break;
    }
    FrameContext context(message);
    beginRequest(context);
    if (std::optional<std::string> reply = context.replyJSON()) {
      if (reply->size() > kMaxReplySize) *reply = R"({"ok":false,"error":"replyTooLarge"})";
      if (!writeFrame(out, *reply)) return 0;
    }
  }
}

}  // namespace nolt::safari
