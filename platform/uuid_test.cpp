#include "platform/uuid.h"

#include <gtest/gtest.h>

namespace nolt::platform {
namespace {

TEST(UUIDTest, ReadsEitherCaseAndWritesUpperCase) {
  struct Case {
    std::string text;
    std::optional<std::string> canonical;
  } cases[] = {
      {"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9", "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"},
      {"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"},
      {"00000000-0000-0000-0000-000000000000", "00000000-0000-0000-0000-000000000000"},
      {"ffffffff-FFFF-ffff-FFFF-ffffffffffff", "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"},
      {"0A1B2C3D4E5F60718293A4B5C6D7E8F9", std::nullopt},       // no hyphens
      {"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F", std::nullopt},    // short
      {"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F90", std::nullopt},  // long
      {"0A1B2C3-D4E5F-6071-8293-A4B5C6D7E8F9", std::nullopt},   // hyphen moved
      {"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8FG", std::nullopt},
      {"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F ", std::nullopt},
      {"+A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", std::nullopt},
      {"{A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F}", std::nullopt},
      {std::string("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F\0", 36), std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<UUID> uuid = UUID::parse(c.text);
    ASSERT_EQ(uuid.has_value(), c.canonical.has_value()) << c.text;
    if (!uuid) continue;
    EXPECT_EQ(uuid->uuidString(), *c.canonical);
    std::array<char, UUID::kTextSize> text = uuid->text();
    EXPECT_EQ(std::string(text.data(), text.size()), *c.canonical);
    EXPECT_EQ(UUID::parse(*c.canonical), uuid);
  }
}

TEST(UUIDTest, BytesAreInTextOrder) {
  UUID uuid = *UUID::parse("00112233-4455-6677-8899-AABBCCDDEEFF");
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(uuid.bytes[i], i * 0x11) << i;
  EXPECT_LT(uuid, *UUID::parse("00112233-4455-6677-8899-AABBCCDDEF00"));
}

}  // namespace
}  // namespace nolt::platform
