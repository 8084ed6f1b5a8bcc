// host/testing/fake_image_codec.h - an image codec without images: it records what it was
// asked and answers with small, recognisable texts.
#pragma once

#include <algorithm>
#include <string>

#include "host/image_codec.h"

namespace nolt::host::testing {

// "IMG w h" is an image of that size whose palette is `palette`; anything else does not decode.
class FakeImageCodec : public ImageCodec {
 public:
  std::vector<Swatch> palette{{"#FF0000", 0.75}, {"#0000FF", 0.25}};
  int lastLongestSide = 0;

  static std::string image(int width, int height) {
    return "IMG " + std::to_string(width) + " " + std::to_string(height);
  }

  std::optional<ImageFacts> inspect(std::string_view bytes) override {
    int w = 0, h = 0;
    if (!read(bytes, w, h)) return std::nullopt;
    return ImageFacts{w, h, palette};
  }
  std::optional<EncodedImage> scaled(std::string_view bytes, int longestSide) override {
    lastLongestSide = longestSide;
    int w = 0, h = 0;
    if (!read(bytes, w, h)) return std::nullopt;
    double scale = std::min(1.0, double(longestSide) / std::max(w, h));
    int sw = int(w * scale), sh = int(h * scale);
    return EncodedImage{image(sw, sh), "image/jpeg", sw, sh};
  }
  std::optional<std::string> thumbnail(std::string_view bytes, int side) override {
    int w = 0, h = 0;
    if (!read(bytes, w, h)) return std::nullopt;
    return "THUMB " + std::to_string(side);
  }
  EncodedImage poster(PosterKind kind, std::string_view seed, int longestSide, bool jpeg) override {
    lastLongestSide = longestSide;
    return {"POSTER " + std::to_string(int(kind)) + " " + std::string(seed),
            jpeg ? "image/jpeg" : "image/png", longestSide, longestSide};
  }

 private:
  static bool read(std::string_view bytes, int& w, int& h) {
    return std::sscanf(std::string(bytes).c_str(), "IMG %d %d", &w, &h) == 2;
  }
};

}  // namespace nolt::host::testing
