// platform/testing/sequential_uuid_source.h - UUIDs numbered in the order asked for, in the
// version 4 form the real source gives: 00000000-0000-4000-8000-000000000001, ...02, and so on.
#pragma once

#include "platform/uuid.h"

namespace nolt::platform::testing {

class SequentialUUIDSource final : public UUIDSource {
 public:
  UUID next() override { return numbered(++count); }

  static UUID numbered(unsigned n) {
    UUID uuid;
    uuid.bytes[6] = 0x40;
    uuid.bytes[8] = 0x80;
    uuid.bytes[12] = static_cast<unsigned char>(n >> 24);
    uuid.bytes[13] = static_cast<unsigned char>(n >> 16);
    uuid.bytes[14] = static_cast<unsigned char>(n >> 8);
    uuid.bytes[15] = static_cast<unsigned char>(n);
    return uuid;
  }

  unsigned count = 0;  // how many were given
};

}  // namespace nolt::platform::testing
