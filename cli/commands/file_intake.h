// cli/commands/file_intake.h - what `add` and the agent's file tool make of a word: a link, or
// a local image, video or PDF checked and carried as Base64 text inside the request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/command_port.h"
#include "platform/file_types.h"
#include "wire/json_value.h"

namespace nolt::commands {

using platform::kMaxFileBytes;

// An http or https address (scheme exactly in lower case); anything else is a path.
bool isLinkWord(std::string_view word);

// `arguments` without "path", plus "name" (the file's last path component) and "data" (the
// whole file as padded Base64). Throws AppConnection::Failure::app for a path that cannot be
// read as a file, is over the limit or is not an image, video or PDF, and FileReadError when
// the file fails while it is being read.
wire::JSONObject fileArguments(std::string_view path, wire::JSONObject arguments);

// A read that failed after the checks passed; what() is the system's text, after the path.
class FileReadError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The whole contents of a checked file, never zero-filled before the read.
struct FileBytes {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;
  std::string_view view() const { return {reinterpret_cast<const char*>(data.get()), size}; }
};

// A file that passed the checks: its arguments ("name" set, "path" gone, no "data") and bytes.
struct CheckedFile {
  wire::JSONObject arguments;
  FileBytes bytes;
};

// fileArguments without the Base64 step; same failures.
CheckedFile checkedFile(std::string_view path, wire::JSONObject arguments);

// A file that passed the checks, open and not yet read: its arguments ("name" set, "path"
// gone, no "data") and the size it had when opened.
struct OpenedFile {
  OpenedFile() = default;
  OpenedFile(OpenedFile&& other) noexcept
      : arguments(std::move(other.arguments)),
        shownPath(std::move(other.shownPath)),
        name(std::move(other.name)),
        fd(std::exchange(other.fd, -1)),
        size(other.size) {}
  OpenedFile& operator=(OpenedFile&&) = delete;
  ~OpenedFile();

  wire::JSONObject arguments;
  std::string shownPath;  // as the user gave it
  std::string name;
  int fd = -1;
  std::uint64_t size = 0;
};

// The checks of checkedFile, without reading the file.
OpenedFile openedFile(std::string_view path, wire::JSONObject arguments);

// The compact request text of `command` with the file's arguments and its Base64 text under
// "data", written piece by piece so that neither the file nor its text is ever held whole: the
// length first, then the text in pieces of a few hundred KiB. It is the request
// CLIRequest::encode() writes for fileArguments, except that the "/" of the Base64 text are
// not escaped: the same JSON, and a text whose length follows from the file's size.
class FileRequest {
 public:
  using PayloadWriter = platform::PortConnection::PayloadWriter;
  // Throws AppConnection::Failure::app when the request would be too long for a frame.
  FileRequest(std::string_view command, const OpenedFile& file);

  std::uint32_t length() const { return length_; }
  // Writes the whole text through `write`, stopping when it returns false. Throws
  // FileReadError, or AppConnection::Failure::app when the file changed since it was counted:
  // the exchange is then left short, so the host takes nothing.
  void write(const PayloadWriter& write);

 private:
  // A multiple of 3, so that only the last chunk's text is padded.
  static constexpr std::size_t kChunkBytes = 768 * 1024;

  const OpenedFile& file_;
  std::vector<char> chunk_;
  std::string before_, after_;
  std::uint64_t dataLength_ = 0;
  std::uint32_t length_ = 0;
};

}  // namespace nolt::commands
