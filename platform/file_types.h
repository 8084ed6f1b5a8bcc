// platform/file_types.h - the one table of file types every program shares: by file-name
// extension (case-insensitive) or MIME type to a type identifier and what it conforms to.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace nolt::platform {

// The largest file carried inside a request, by `nolt add`, the agent server, the capture
// inbox and the host alike; exactly this size is accepted.
inline constexpr std::uint64_t kMaxFileBytes = 200ull * 1024 * 1024;

// Identifiers of the broad types that callers ask about.
inline constexpr std::string_view kImageType = "public.image";
inline constexpr std::string_view kMovieType = "public.movie";
inline constexpr std::string_view kPDFType = "com.adobe.pdf";
inline constexpr std::string_view kPlainTextType = "public.plain-text";
inline constexpr std::string_view kURLType = "public.url";
inline constexpr std::string_view kDataType = "public.data";

struct FileType {
  std::string_view identifier;          // "public.png"
  std::string_view preferredExtension;  // "png"; image/jpeg gives "jpeg"
  std::string_view preferredMIMEType;   // "image/png"
  std::span<const std::string_view> extensions;
  std::span<const std::string_view> mimeTypes;
  std::span<const std::string_view> conformsTo;  // besides itself; always public.data

  // True for its own identifier and every broader type it belongs to.
  bool conforms(std::string_view type) const;
};

// None for an extension or MIME type the table does not know.
const FileType* typeForExtension(std::string_view extension);
const FileType* typeForMIMEType(std::string_view mimeType);
// The extension of a file name or path ("a/b.PNG" gives "PNG"); empty when it has none.
std::string_view pathExtension(std::string_view path);

}  // namespace nolt::platform
