#include "platform/base64.h"

#include <gtest/gtest.h>

#include <vector>

namespace nolt::platform::base64 {
namespace {

// Bytes whose text holds many "/" and "+", the characters a mistake in escaping shows on.
std::string sampleBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 37 + 11) % 256 | 0xF8);
  return bytes;
}

// The text of `bytes` through an Encoder fed in the given parts.
std::string encodeInParts(const std::vector<std::string_view>& parts) {
  Encoder encoder;
  std::string text;
  for (std::string_view part : parts) encoder.add(text, part);
  encoder.finish(text);
  return text;
}

struct Decoded {
  bool valid;
  std::string bytes;
  friend bool operator==(const Decoded&, const Decoded&) = default;
};

Decoded decodeInParts(const std::vector<std::string_view>& parts, Mode mode) {
  std::string bytes;
  Decoder decoder(mode, [&bytes](std::string_view block) { bytes += block; });
  bool valid = true;
  for (std::string_view part : parts) valid = decoder.add(part) && valid;
  valid = decoder.finish() && valid;
  return {valid, valid ? bytes : ""};
}

Decoded decodeWhole(std::string_view text, Mode mode) {
  std::optional<std::string> bytes = decode(text, mode);
  return {bytes.has_value(), bytes.value_or("")};
}

// Every way to cut `text` in two and in three.
std::vector<std::vector<std::string_view>> splits(std::string_view text) {
  std::vector<std::vector<std::string_view>> all;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    all.push_back({text.substr(0, i), text.substr(i)});
    for (std::size_t j = i; j <= text.size(); ++j)
      all.push_back({text.substr(0, i), text.substr(i, j - i), text.substr(j)});
  }
  return all;
}

TEST(Base64Test, EncodesWithTheStandardAlphabetAndPadding) {
  struct Case {
    std::string bytes, text;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foobar", "Zm9vYmFy"},
      {"hello", "aGVsbG8="},
      {"\xfb\xff\xbf", "+/+/"},
      {"\xff", "/w=="},
      {"\xff\xff", "//8="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encode(c.bytes), c.text) << c.bytes;
    std::string appended = "x";
    append(appended, c.bytes);
    EXPECT_EQ(appended, "x" + c.text) << c.bytes;
    EXPECT_EQ(encodedLength(c.bytes.size()), c.text.size()) << c.bytes;
  }
  EXPECT_EQ(encode(std::string(20000, 'x')).find('\n'), std::string::npos);
}

TEST(Base64Test, LongTextsAreWholeAcrossTheEncodersBlocks) {
  // Past the 4096 groups the encoder writes at once.
  for (std::size_t size : {12287u, 12288u, 12289u, 40000u}) {
    std::string bytes = sampleBytes(size);
    EXPECT_EQ(encode(bytes).size(), encodedLength(size)) << size;
    EXPECT_EQ(decode(encode(bytes), Mode::strict), bytes) << size;
  }
}

TEST(Base64Test, RoundTripsEveryLengthInBothModes) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(decode(encode(bytes), Mode::strict), bytes) << i;
    EXPECT_EQ(decode(encode(bytes), Mode::lenient), bytes) << i;
    bytes += static_cast<char>(i * 37);
  }
}

TEST(Base64Test, DecodingTakesWhatItsModeAllows) {
  // Strict: only padded alphabet text. Lenient: unpadded text and line breaks too.
  struct Case {
    Mode mode;
    std::string text;
    std::optional<std::string> bytes;
  } cases[] = {
      {Mode::strict, "", ""},
      {Mode::strict, "QQ==", "A"},
      {Mode::strict, "QUI=", "AB"},
      {Mode::strict, "QUJD", "ABC"},
      {Mode::strict, "QUJDRA==", "ABCD"},
      {Mode::strict, "/+8=", "\xFF\xEF"},
      {Mode::strict, "QR==", "A"},  // bits below the last byte are dropped, not refused
      {Mode::strict, "QUJD\n", std::nullopt},
      {Mode::strict, "QU\r\nJD", std::nullopt},
      {Mode::strict, "QU JD", std::nullopt},
      {Mode::strict, "QQ", std::nullopt},
      {Mode::strict, "QUJ", std::nullopt},
      {Mode::strict, "QQ=", std::nullopt},
      {Mode::strict, "Q===", std::nullopt},
      {Mode::strict, "====", std::nullopt},
      {Mode::strict, "QUJD=", std::nullopt},
      {Mode::strict, "QQ=A", std::nullopt},
      {Mode::strict, "QQ==QQ==", std::nullopt},
      {Mode::strict, "QQ===", std::nullopt},
      {Mode::strict, "_-8=", std::nullopt},
      {Mode::strict, std::string("QU\0D", 4), std::nullopt},
      {Mode::lenient, "aGVs\nbG8=", "hello"},
      {Mode::lenient, "aGVsbG8", "hello"},
      {Mode::lenient, "aGVs\r\nbG8=\r\n", "hello"},
      {Mode::lenient, "QQ=\n=", "A"},
      {Mode::lenient, "\n\n", ""},
      {Mode::lenient, "a", std::nullopt},
      {Mode::lenient, "aGk=a", std::nullopt},
      {Mode::lenient, "aGk===", std::nullopt},
      {Mode::lenient, "abc==", std::nullopt},
      {Mode::lenient, "QUJD=", std::nullopt},
      {Mode::lenient, "==", std::nullopt},
      {Mode::lenient, "a-b_", std::nullopt},
      {Mode::lenient, "aGVsbG8=\x01", std::nullopt},
      {Mode::lenient, "aGVs bG8=", std::nullopt},
      {Mode::lenient, "aGVs\tbG8=", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(decode(c.text, c.mode), c.bytes)
        << c.text << (c.mode == Mode::strict ? " (strict)" : " (lenient)");
}

TEST(Base64Test, StreamingEncoderWritesTheWholeTextAtEverySplit) {
  for (std::size_t size : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 11u}) {
    std::string bytes = sampleBytes(size);
    std::string whole = encode(bytes);
    for (const auto& parts : splits(bytes))
      ASSERT_EQ(encodeInParts(parts), whole) << size << " " << parts[0].size();
  }
  // After finish, the same encoder writes a second text from scratch.
  Encoder encoder;
  std::string text;
  encoder.add(text, "f");
  encoder.finish(text);
  encoder.add(text, "fo");
  encoder.finish(text);
  EXPECT_EQ(text, "Zg==Zm8=");
}

TEST(Base64Test, StreamingDecoderAgreesWithWholeDecodingAtEverySplit) {
  const std::string texts[] = {
      "",        "QQ==",       "QUI=", "QUJD",       "QUJDRA==",  "+/+/",        "aGVs\nbG8=",
      "aGVsbG8", "QQ=\n=",     "\r\n", "Q",          "QQ=",       "Q===",        "QQ==QQ==",
      "QQ===",   "aGk=a",      "a-b_", "QUJD=",      "QU JD",     "QUJDRA=",     "aGVsbG8=\x01",
      "QQ=A",    "QUJDRA\n==", "==",   "QUJDQUJD\n", "QUJDQUJDQ", "QUJDQUJDQUI",
  };
  for (Mode mode : {Mode::strict, Mode::lenient}) {
    for (const std::string& text : texts) {
      Decoded whole = decodeWhole(text, mode);
      for (const auto& parts : splits(text))
        ASSERT_EQ(decodeInParts(parts, mode), whole)
            << text << " mode " << int(mode) << " cut at " << parts[0].size();
    }
  }
}

TEST(Base64Test, StreamingDecoderHandsOnBlocksNotBytes) {
  std::string bytes = sampleBytes(1 << 20);
  std::string text = encode(bytes);
  std::string out;
  std::size_t calls = 0;
  Decoder decoder(Mode::strict, [&](std::string_view block) {
    out += block;
    ++calls;
  });
  // Parts of an odd size, so groups straddle them.
  for (std::size_t at = 0; at < text.size(); at += 65537)
    ASSERT_TRUE(decoder.add(text.substr(at, 65537)));
  ASSERT_TRUE(decoder.finish());
  EXPECT_EQ(out, bytes);
  EXPECT_LT(calls, 1000u);
}

TEST(Base64Test, StreamingDecoderStopsAtTheFirstBadCharacter) {
  std::string handed;
  Decoder decoder(Mode::strict, [&handed](std::string_view block) { handed += block; });
  EXPECT_TRUE(decoder.add("QUJD"));
  EXPECT_FALSE(decoder.add("QU*D"));
  EXPECT_FALSE(decoder.add("QUJD"));  // stays refused, whatever follows
  EXPECT_FALSE(decoder.finish());
  EXPECT_EQ(handed, "ABC");
  // finish() starts a new text.
  handed.clear();
  EXPECT_TRUE(decoder.add("QUI="));
  EXPECT_TRUE(decoder.finish());
  EXPECT_EQ(handed, "AB");
}

}  // namespace
}  // namespace nolt::platform::base64
