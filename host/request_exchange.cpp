#include "host/request_exchange.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/base64.h"
#include "platform/file_types.h"
#include "platform/json_reader.h"
#include "wire/json_value.h"

namespace nolt::host {

namespace {

using platform::PortExchange;
using wire::JSONValue;

// Decoded bytes go to disk in blocks of this size.
constexpr std::size_t kWriteBlock = 256 * 1024;

// Builds the request's value, except for the string under "arguments"."data", which it decodes
// into a file of the store as its parts come.
class RequestSink final : public platform::json::Sink {
 public:
  explicit RequestSink(FileStore& files) : files_(files) {}

  bool takesStringParts() const override { return true; }
  bool stringPart(std::string_view part) override {
    if (dataNext_) beginData();
    if (inData_) return data(part);
    pending_ += part;
    return true;
  }
  bool string(std::string_view last) override {
    if (dataNext_) beginData();
    if (inData_) {
      data(last);
      endData();
      return true;
    }
    bool ok;
    held_ += last.size();
    if (pending_.empty()) {
      ok = builder_.string(last);
    } else {
      pending_ += last;
      ok = builder_.string(pending_);
      pending_.clear();
    }
    return ok;
  }
  // Values count by their size in memory, so many small ones are held too.
  bool null() override { return other() && hold() && builder_.null(); }
  bool boolean(bool value) override { return other() && hold() && builder_.boolean(value); }
  bool number(double value) override { return other() && hold() && builder_.number(value); }
  bool key(std::string_view text) override {
    held_ += text.size();
    std::size_t depth = objects_.size();
    if (depth == 1 && objects_[0]) topKey_.assign(text);
    // The file's text is taken aside; its key goes to the value only if something else comes.
    if (depth == 2 && objects_[0] && objects_[1] && topKey_ == "arguments" && text == "data") {
      dataNext_ = true;
      return true;
    }
    return builder_.key(text);
  }
  bool beginArray() override {
    objects_.push_back(false);
    return other() && hold() && builder_.beginArray();
  }
  bool endArray() override {
    objects_.pop_back();
    return builder_.endArray();
  }
  bool beginObject() override {
    if (!other() || !hold()) return false;
    objects_.push_back(true);
    return builder_.beginObject();
  }
  bool endObject() override {
    objects_.pop_back();
    return builder_.endObject();
  }

  JSONValue take() { return builder_.take(); }
  // The file that came as "data", if one did.
  ReceivedFile* received() { return received_ ? &*received_ : nullptr; }
  // What the request holds so far: its keys and strings, and the file's bytes not yet written.
  std::size_t heldBytes() const { return held_ + pending_.size() + buffer_.size(); }

 private:
  bool hold() {
    held_ += sizeof(JSONValue);
    return true;
  }
  // A value other than the file's text: the withheld "data" key goes first.
  bool other() {
    if (!dataNext_) return true;
    dataNext_ = false;
    return builder_.key("data");
  }

  void beginData() {
    dataNext_ = false;
    inData_ = true;
    // A later "data" replaces an earlier one, as it would in the request's value.
    received_.emplace();
    decoded_ = 0;
    buffer_.clear();
    decoder_.emplace(platform::base64::Mode::lenient,
                     [this](std::string_view bytes) { keep(bytes); });
    try {
      received_->file = files_.receive();
    } catch (const std::exception& error) {
      storeError_ = error.what();
    }
  }
  bool data(std::string_view text) {
    decoder_->add(text);  // once it fails the text is not Base64, whatever follows
    return true;
  }
  void endData() {
    inData_ = false;
    received_->base64 = decoder_->finish();
    flush();
    received_->overLimit = decoded_ > platform::kMaxFileBytes;
    if (storeError_) {
      received_->file.reset();
      received_->storeError = storeError_;
    }
    decoder_.reset();
  }
  void keep(std::string_view bytes) {
    decoded_ += bytes.size();
    // Past the limit the file is refused; its bytes need not be kept.
    if (decoded_ > platform::kMaxFileBytes || !received_->file || storeError_) return;
    buffer_ += bytes;
    if (buffer_.size() >= kWriteBlock) flush();
  }
  void flush() {
    if (received_->file && !storeError_ && !buffer_.empty()) {
      std::string_view rest = buffer_;
      while (!rest.empty()) {
        ssize_t n = ::write(received_->file->fd(), rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          storeError_ = std::strerror(n == 0 ? EIO : errno);
          break;
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
      }
    }
    buffer_.clear();
  }

  FileStore& files_;
  wire::JSONValueBuilder builder_;
  std::vector<bool> objects_;  // for each open container: an object, else an array
  std::string topKey_;         // the last key of the outermost object
  std::string pending_;        // the parts of a string so far
  bool dataNext_ = false;
  bool inData_ = false;
  std::optional<ReceivedFile> received_;
  std::optional<platform::base64::Decoder> decoder_;
  std::string buffer_;
  std::uint64_t decoded_ = 0;
  std::size_t held_ = 0;
  std::optional<std::string> storeError_;
};

class RequestExchange final : public PortExchange {
 public:
  RequestExchange(CommandHandlers& handlers, FileStore& files)
      : handlers_(handlers), sink_(files), reader_(sink_) {}

  bool take(std::string_view part) override {
    // Text that is not JSON still gets its answer once the frame is whole; what follows the
    // fault is not read.
    if (readable_) readable_ = reader_.write(part);
    return true;
  }

  // The file's text is decoded as it comes; the rest of the request is held.
  std::size_t heldBytes() const override { return sink_.heldBytes(); }

  Answer finish() override {
    if (readable_ && !reader_.finish())
      return {Ending::reply, handlers_.respond(sink_.take(), sink_.received())};
    return {Ending::reply, handlers_.respond(JSONValue(), nullptr)};
  }

 private:
  CommandHandlers& handlers_;
  RequestSink sink_;
  platform::json::Reader reader_;
  bool readable_ = true;
};

}  // namespace

std::unique_ptr<PortExchange> makeRequestExchange(CommandHandlers& handlers, FileStore& files,
                                                  std::uint32_t) {
  return std::make_unique<RequestExchange>(handlers, files);
}

}  // namespace nolt::host
