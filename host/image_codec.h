// host/image_codec.h - what the host needs from an image library, behind an interface so the
// library store and the command handlers stay free of it (and tests use a fake).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/library.h"

namespace nolt::host {

struct EncodedImage {
  std::string data;
  std::string mimeType;  // "image/png" or "image/jpeg"
  int width = 0;
  int height = 0;
};

struct ImageFacts {
  int width = 0;
  int height = 0;
  std::vector<Swatch> palette;  // the main colours, heaviest first; weights add up to 1
};

// What a poster stands for, when an item has no picture of its own to show.
enum class PosterKind { video, pdf, link, text, file };

class ImageCodec {
 public:
  virtual ~ImageCodec() = default;
  // Size and colours of an encoded image; none when the bytes do not decode.
  virtual std::optional<ImageFacts> inspect(std::string_view bytes) = 0;
  // The image with its longest side at most `longestSide` (never enlarged): PNG when it has
  // transparency, else JPEG. None when the bytes do not decode.
  virtual std::optional<EncodedImage> scaled(std::string_view bytes, int longestSide) = 0;
  // A square JPEG of the image's centre, `side` pixels wide; none when it does not decode.
  virtual std::optional<std::string> thumbnail(std::string_view bytes, int side) = 0;
  // A picture drawn for the kind, varied by `seed` (an item's id or address), as PNG with the
  // longest side `longestSide`; `jpeg` asks for a JPEG instead.
  virtual EncodedImage poster(PosterKind kind, std::string_view seed, int longestSide,
                              bool jpeg = false) = 0;
};

}  // namespace nolt::host
