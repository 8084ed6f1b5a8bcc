#include "platform/file_types.h"

#include <algorithm>
#include <array>

namespace nolt::platform {

namespace {

using Names = std::span<const std::string_view>;

template <std::size_t N>
using List = std::array<std::string_view, N>;

constexpr List<2> kImage = {"public.image", "public.data"};
constexpr List<3> kMovie = {"public.movie", "public.audiovisual-content", "public.data"};
constexpr List<2> kPDF = {"public.data", "public.composite-content"};
constexpr List<2> kText = {"public.text", "public.data"};

// One row of the table; the preferred extension and MIME type come first in their lists, as
// the desktop's registry gives them.
#define NOLT_TYPE(identifier, conformance, extensions, mimes)                        \
  [] {                                                                               \
    static constexpr auto e = std::to_array<std::string_view> extensions;            \
    static constexpr auto m = std::to_array<std::string_view> mimes;                 \
    return FileType{identifier, e[0], m[0], Names(e), Names(m), Names(conformance)}; \
  }()

const std::array kTypes = {
    NOLT_TYPE("public.png", kImage, ({"png"}), ({"image/png"})),
    NOLT_TYPE("public.jpeg", kImage, ({"jpeg", "jpg", "jpe"}),
              ({"image/jpeg", "image/jpg", "image/pjpeg"})),
    NOLT_TYPE("com.compuserve.gif", kImage, ({"gif"}), ({"image/gif"})),
    NOLT_TYPE("org.webmproject.webp", kImage, ({"webp"}), ({"image/webp"})),
    NOLT_TYPE("public.heic", kImage, ({"heic"}), ({"image/heic"})),
    NOLT_TYPE("public.heif", kImage, ({"heif"}), ({"image/heif"})),
    NOLT_TYPE("public.avif", kImage, ({"avif"}), ({"image/avif"})),
    NOLT_TYPE("public.tiff", kImage, ({"tiff", "tif"}), ({"image/tiff"})),
    NOLT_TYPE("com.microsoft.bmp", kImage, ({"bmp"}), ({"image/bmp", "image/x-bmp"})),
    NOLT_TYPE("public.svg-image", kImage, ({"svg"}), ({"image/svg+xml"})),
    NOLT_TYPE("com.microsoft.ico", kImage, ({"ico"}),
              ({"image/vnd.microsoft.icon", "image/x-icon"})),
    NOLT_TYPE("com.apple.quicktime-movie", kMovie, ({"mov", "qt"}), ({"video/quicktime"})),
    NOLT_TYPE("public.mpeg-4", kMovie, ({"mp4"}), ({"video/mp4"})),
    NOLT_TYPE("com.apple.m4v-video", kMovie, ({"m4v"}), ({"video/x-m4v"})),
    NOLT_TYPE("org.webmproject.webm", kMovie, ({"webm"}), ({"video/webm"})),
    NOLT_TYPE("org.matroska.mkv", kMovie, ({"mkv"}), ({"video/x-matroska"})),
    NOLT_TYPE("public.avi", kMovie, ({"avi"}), ({"video/x-msvideo", "video/avi"})),
    NOLT_TYPE("public.mpeg", kMovie, ({"mpg", "mpeg"}), ({"video/mpeg"})),
    NOLT_TYPE("com.adobe.pdf", kPDF, ({"pdf"}), ({"application/pdf"})),
    NOLT_TYPE("public.plain-text", kText, ({"txt", "text"}), ({"text/plain"})),
};

#undef NOLT_TYPE

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

template <class Pick>
const FileType* find(std::string_view key, Pick pick) {
  if (key.empty()) return nullptr;
  for (const FileType& type : kTypes)
    for (std::string_view candidate : pick(type))
      if (equalsIgnoringCase(candidate, key)) return &type;
  return nullptr;
}

}  // namespace

bool FileType::conforms(std::string_view type) const {
  return type == identifier ||
         std::find(conformsTo.begin(), conformsTo.end(), type) != conformsTo.end();
}

const FileType* typeForExtension(std::string_view extension) {
  return find(extension, [](const FileType& t) { return t.extensions; });
}

const FileType* typeForMIMEType(std::string_view mimeType) {
  // Parameters such as "; charset=utf-8" do not change the type.
  mimeType = mimeType.substr(0, mimeType.find(';'));
  while (!mimeType.empty() && mimeType.back() == ' ') mimeType.remove_suffix(1);
  return find(mimeType, [](const FileType& t) { return t.mimeTypes; });
}

std::string_view pathExtension(std::string_view path) {
  std::string_view name = path.substr(
      path.find_last_of('/') == std::string_view::npos ? 0 : path.find_last_of('/') + 1);
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

}  // namespace nolt::platform
