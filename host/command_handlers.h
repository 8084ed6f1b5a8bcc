// host/command_handlers.h - the host's side of the command port: one CLIRequest in, one
// CLIResponse out. A table maps each command to its handler; a handler reads its arguments,
// ignoring keys it does not know, and fails with a CommandError whose text people read.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/file_store.h"
#include "host/image_codec.h"
#include "host/library.h"
#include "host/opener.h"
#include "platform/uuid.h"
#include "platform/wall_clock.h"
#include "wire/json_value.h"

namespace nolt::host {

// A request the host cannot serve; what() goes back to the person as the reply's "error".
class CommandError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct HostServices {
  Library& library;
  FileStore& files;
  ImageCodec& images;
  Opener& opener;
  platform::UUIDSource& uuids;
  platform::WallClock& clock;
};

inline constexpr std::int64_t kDefaultLimit = 20;
inline constexpr std::int64_t kMaxLimit = 200;
inline constexpr std::int64_t kDefaultImageSize = 1024;
inline constexpr std::int64_t kMaxImageSize = 2048;

// A file that came with a request as the Base64 text of its "data" argument, decoded into the
// file store as it arrived, so the request never held it.
struct ReceivedFile {
  std::unique_ptr<IncomingFile> file;     // none when it could not be stored
  bool base64 = true;                     // the whole text was Base64
  bool overLimit = false;                 // it decoded to more than platform::kMaxFileBytes
  std::optional<std::string> storeError;  // why the bytes could not be kept
};

class CommandHandlers {
 public:
  // `changed` runs after each command that changed the library, outside any lock.
  explicit CommandHandlers(HostServices services, std::function<void()> changed = {})
      : services_(services), changed_(std::move(changed)) {}

  // The reply payload for a request payload; never throws.
  std::string respond(std::string_view request);
  // The same for a request read already, whose "data" argument came as `received`.
  std::string respond(const wire::JSONValue& request, ReceivedFile* received);
  // The result of one command; throws CommandError, QueryError or StoreError on failure.
  wire::JSONValue handle(std::string_view command, const wire::JSONObject& arguments,
                         ReceivedFile* received = nullptr);

 private:
  std::string answer(const std::function<wire::JSONValue()>& run);

  HostServices services_;
  std::function<void()> changed_;
};

}  // namespace nolt::host
