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

// A capture the host would set aside unread, refused before anything of it is written: a file
// that is not a regular one, a file over platform::kMaxFileBytes, or a request.json over
// platform::kMaxCaptureRequestBytes. what() is the person's text ("a.pdf is over 200 MB.").
class RefusedCapture : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The steps of one capture, for writers that need to act between them. Each throws
// std::system_error, whose text names the step, the path and the system's reason.

// <inbox>/<new UUID>: a name only, nothing is created.
std::filesystem::path newCaptureFolderURL(const std::filesystem::path& inbox,
                                          platform::UUIDSource& uuids);
// Creates the folder and any missing parents (the inbox itself, the first time).
void createCaptureFolder(const std::filesystem::path& folder);
// Writes the payload file and flushes it to disk. A name that is not one plain path component,
// or of a file already there, is refused; a file left incomplete by a failure is removed. A
// source is a file someone named: a link is followed, but anything other than a regular file
// within platform::kMaxFileBytes throws RefusedCapture before the payload file is created.
void writePayload(const std::filesystem::path& folder, const Payload& payload);
// request.json's text. Throws wire::JSONEncodingError when the request cannot be encoded,
// RefusedCapture when the text is over platform::kMaxCaptureRequestBytes: a writer calls it before
// the first step, so that a capture the host would refuse leaves nothing behind.
std::string encodeRequest(const IncomingRequest& request);
// Encodes the request and puts it in place atomically: a temporary file in the folder, flushed
// to disk, then renamed to request.json. On failure no request.json appears and the temporary
// file is gone. Throws as encodeRequest does, before anything is written.
void writeRequest(const std::filesystem::path& folder, const IncomingRequest& request);

// All of the steps: a new folder, the payload (if any), request.json. Returns the folder.
// A request or a payload of bytes that would be refused is refused before the folder is made;
// on a later failure the folder stays behind without request.json; it is never a capture.
std::filesystem::path writeCapture(const std::filesystem::path& inbox, platform::UUIDSource& uuids,
                                   const IncomingRequest& request,
                                   const Payload* payload = nullptr);

// Tells the host that captures arrived; once after the last capture of one user action.
void postIncoming(platform::NotificationCenter& notifications);

}  // namespace nolt::capture
