#include <uuid/uuid.h>

#include "platform/uuid.h"

namespace nolt::platform {

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
