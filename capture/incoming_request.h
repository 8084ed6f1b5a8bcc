// capture/incoming_request.h - one capture as request.json holds it: a link, a file beside it
// in the capture folder, or a piece of text, with where it goes and when it was made.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/uuid.h"

namespace nolt::capture {

struct IncomingRequest {
  enum class Kind { link, file, text };

  Kind kind = Kind::link;
  std::optional<std::string> url;        // link: the absolute address
  std::optional<std::string> fileName;   // file: the payload's name in the capture folder
  std::optional<std::string> text;       // text: the captured text
  std::optional<std::string> sourceURL;  // the page the capture came from, when known
  std::optional<std::string> title;
  std::optional<platform::UUID> spaceID;
  std::optional<platform::UUID> collectionID;
  std::vector<std::string> tags;
  std::string note;
  double createdAt = 0;  // seconds since 2001-01-01T00:00:00Z

  // One compact object in the order of the fields above; absent fields are left out, never
  // null. Throws wire::JSONEncodingError when createdAt is not a finite number.
  std::string encoded() const;
  // None when a required key is missing or null, a value has the wrong type, or "kind" is not
  // one of the three names; keys it does not know are ignored.
  static std::optional<IncomingRequest> decode(std::string_view json);

  friend bool operator==(const IncomingRequest&, const IncomingRequest&) = default;
};

std::string_view kindName(IncomingRequest::Kind kind);

// True for an absolute URL ("https://a.example/x", "file:///tmp/a"): a scheme, then a valid
// RFC 3986 remainder.
bool isAbsoluteURL(std::string_view text);
// True for any RFC 3986 reference, relative ones included, but not the empty text.
bool isURLReference(std::string_view text);

}  // namespace nolt::capture
