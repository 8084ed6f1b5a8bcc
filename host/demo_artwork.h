// host/demo_artwork.h - the pictures of the sample library (nolt-host --demo): a few simple
// compositions in a few palettes, drawn with QPainter. Works without a display.
#pragma once

#include <string>

namespace nolt::host {

// A PNG of `width` by `height` pixels; `index` chooses the composition and palette.
std::string demoArtworkPNG(int index, int width, int height);

}  // namespace nolt::host
