#include "host/web_address.h"

#include <boost/url/parse.hpp>
#include <cctype>
#include <string>

namespace nolt::host {

bool isWebAddress(std::string_view text) {
  auto parsed = boost::urls::parse_uri(text);
  if (!parsed || parsed->encoded_host().empty()) return false;
  std::string scheme(parsed->scheme());
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme == "http" || scheme == "https";
}

}  // namespace nolt::host
