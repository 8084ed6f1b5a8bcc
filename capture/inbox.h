// capture/inbox.h - writing captures into the inbox, and telling the host to look.
// A capture is a folder named by a fresh UUID. Its payload file, if any, is written first and
// request.json last, atomically, so a folder is a whole capture exactly when request.json is
// in it; the host never needs a lock. Writers never touch a folder again once it is whole.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "capture/incoming_request.h"
#include "platform/notify.h"
#include "platform/uuid.h"

namespace nolt::capture {

// The content of a file capture: bytes at hand, or a file to copy.
struct Payload {
  static Payload bytes(std::string fileName, std::string data) {
    return {std::move(fileName), std::move(data), {}};
  }
  static Payload copyOf(std::string fileName, std::filesystem::path source) {
    return {std::move(fileName), {}, std::move(source)};
  }

  std::string fileName;  // a single path component
  std::string data;
  std::filesystem::path source;  // a file copied instead of `data` when not empty
};

// The steps of one capture, for writers that need to act between them. Each throws
// std::system_error, whose text names the step, the path and the system's reason.

// <inbox>/<new UUID>: a name only, nothing is created.
std::filesystem::path newCaptureFolderURL(const std::filesystem::path& inbox,
                                          platform::UUIDSource& uuids);
// Creates the folder and any missing parents (the inbox itself, the first time).
void createCaptureFolder(const std::filesystem::path& folder);
// Writes the payload file and flushes it to disk. A name that is not one plain path component,
// or of a file already there, is refused; a file left incomplete by a failure is removed.
void writePayload(const std::filesystem::path& folder, const Payload& payload);
// Encodes the request and puts it in place atomically: a temporary file in the folder, flushed
// to disk, then renamed to request.json. On failure no request.json appears and the temporary
// file is gone. Throws EncodingError when the request cannot be encoded.
void writeRequest(const std::filesystem::path& folder, const IncomingRequest& request);

// All of the steps: a new folder, the payload (if any), request.json. Returns the folder.
// On failure the folder stays behind without request.json; it is never a capture.
std::filesystem::path writeCapture(const std::filesystem::path& inbox, platform::UUIDSource& uuids,
                                   const IncomingRequest& request,
                                   const Payload* payload = nullptr);

// Tells the host that captures arrived; once after the last capture of one user action.
void postIncoming(platform::NotificationCenter& notifications);

}  // namespace nolt::capture
