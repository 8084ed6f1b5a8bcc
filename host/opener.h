// host/opener.h - what opens a file or an address on the desktop for the host ("open" and deep
// links); the real one runs the desktop's opener, tests record what they were asked.
#pragma once

#include <optional>
#include <string>

namespace nolt::host {

class Opener {
 public:
  virtual ~Opener() = default;
  // None once the opener started; else why it could not.
  virtual std::optional<std::string> open(const std::string& target) = 0;
};

}  // namespace nolt::host
