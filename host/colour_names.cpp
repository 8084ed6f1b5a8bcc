#include "host/colour_names.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace nolt::host {

std::string_view colourWord(std::string_view hex) {
  if (hex.size() != 7 || hex[0] != '#') return {};
  unsigned value = 0;
  for (char c : hex.substr(1)) {
    int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                            : -1;
    if (digit < 0) return {};
    value = value * 16 + static_cast<unsigned>(digit);
  }
  double r = ((value >> 16) & 255) / 255.0, g = ((value >> 8) & 255) / 255.0,
         b = (value & 255) / 255.0;
  double high = std::max({r, g, b}), low = std::min({r, g, b}), chroma = high - low;
  if (high < 0.2) return "black";
  if (chroma < 0.12) return high > 0.85 ? "white" : "grey";
  double hue = high == r   ? 60 * std::fmod((g - b) / chroma + 6, 6)
               : high == g ? 60 * ((b - r) / chroma + 2)
                           : 60 * ((r - g) / chroma + 4);
  if (hue < 15 || hue >= 340) return high < 0.55 ? "brown" : "red";
  if (hue < 40) return high < 0.6 ? "brown" : "orange";
  if (hue < 70) return "yellow";
  if (hue < 160) return "green";
  if (hue < 190) return "teal";
  if (hue < 255) return "blue";
  if (hue < 295) return "purple";
  return "pink";
}

}  // namespace nolt::host
