#include "platform/file_types.h"

#include <algorithm>
#include <array>

namespace nolt::platform {

namespace {

constexpr std::initializer_list<std::string_view> kImage = {"public.image", "public.data"};
constexpr std::initializer_list<std::string_view> kMovie = {"public.movie",
                                                            "public.audiovisual-content",
                                                            "public.data"};

// Preferred extension and MIME type come first in their lists, as the desktop's registry
// gives them.
const std::array kTypes = {
    FileType{"public.png", "png", "image/png", {"png"}, {"image/png"}, kImage},
    FileType{"public.jpeg", "jpeg", "image/jpeg", {"jpeg", "jpg", "jpe"},
             {"image/jpeg", "image/jpg", "image/pjpeg"}, kImage},
    FileType{"com.compuserve.gif", "gif", "image/gif", {"gif"}, {"image/gif"}, kImage},
    FileType{"org.webmproject.webp", "webp", "image/webp", {"webp"}, {"image/webp"}, kImage},
    FileType{"public.heic", "heic", "image/heic", {"heic"}, {"image/heic"}, kImage},
    FileType{"public.heif", "heif", "image/heif", {"heif"}, {"image/heif"}, kImage},
    FileType{"public.avif", "avif", "image/avif", {"avif"}, {"image/avif"}, kImage},
    FileType{"public.tiff", "tiff", "image/tiff", {"tiff", "tif"}, {"image/tiff"}, kImage},
    FileType{"com.microsoft.bmp", "bmp", "image/bmp", {"bmp"}, {"image/bmp", "image/x-bmp"},
             kImage},
    FileType{"public.svg-image", "svg", "image/svg+xml", {"svg"}, {"image/svg+xml"}, kImage},
    FileType{"com.microsoft.ico", "ico", "image/vnd.microsoft.icon", {"ico"},
             {"image/vnd.microsoft.icon", "image/x-icon"}, kImage},
    FileType{"com.apple.quicktime-movie", "mov", "video/quicktime", {"mov", "qt"},
             {"video/quicktime"}, kMovie},
    FileType{"public.mpeg-4", "mp4", "video/mp4", {"mp4"}, {"video/mp4"}, kMovie},
    FileType{"com.apple.m4v-video", "m4v", "video/x-m4v", {"m4v"}, {"video/x-m4v"}, kMovie},
    FileType{"org.webmproject.webm", "webm", "video/webm", {"webm"}, {"video/webm"}, kMovie},
    FileType{"org.matroska.mkv", "mkv", "video/x-matroska", {"mkv"}, {"video/x-matroska"},
             kMovie},
    FileType{"public.avi", "avi", "video/x-msvideo", {"avi"}, {"video/x-msvideo", "video/avi"},
             kMovie},
    FileType{"public.mpeg", "mpg", "video/mpeg", {"mpg", "mpeg"}, {"video/mpeg"}, kMovie},
    FileType{"com.adobe.pdf", "pdf", "application/pdf", {"pdf"}, {"application/pdf"},
             {"public.data", "public.composite-content"}},
    FileType{"public.plain-text", "txt", "text/plain", {"txt", "text"}, {"text/plain"},
             {"public.text", "public.data"}},
};

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
  return type == identifier || std::find(conformsTo.begin(), conformsTo.end(), type) !=
                                   conformsTo.end();
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
  std::string_view name = path.substr(path.find_last_of('/') == std::string_view::npos
                                          ? 0
                                          : path.find_last_of('/') + 1);
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

}  // namespace nolt::platform
