#include "platform/uuid.h"

#include <uuid/uuid.h>

namespace nolt::platform {

std::string UUID::uuidString() const {
  char text[37];
  uuid_unparse_upper(bytes.data(), text);
  return std::string(text, 36);
}

std::optional<UUID> UUID::parse(std::string_view text) {
  // uuid_parse reads a C string; a text of any other length cannot be a UUID anyway.
  if (text.size() != 36) return std::nullopt;
  char copy[37];
  text.copy(copy, 36);
  copy[36] = '\0';
  UUID uuid;
  if (uuid_parse(copy, uuid.bytes.data()) != 0) return std::nullopt;
  return uuid;
}

namespace {

class RandomUUIDSource final : public UUIDSource {
 public:
  UUID next() override {
    UUID uuid;
    uuid_generate_random(uuid.bytes.data());
    return uuid;
  }
};

}  // namespace

std::unique_ptr<UUIDSource> makeRandomUUIDSource() { return std::make_unique<RandomUUIDSource>(); }

}  // namespace nolt::platform
