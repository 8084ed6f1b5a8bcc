#include "platform/json_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace nolt::platform::json {
namespace {

// Writes every event down, so two ways of reading can be compared.
class Recorder : public Sink {
 public:
  explicit Recorder(bool inParts = false) : inParts_(inParts) {}
  std::string log;

  bool null() override { return add("null"); }
  bool boolean(bool value) override { return add(value ? "true" : "false"); }
  // Built by appending: gcc 12 at -O3 takes "literal" + std::string for an overlapping copy.
  bool number(double value) override { return add(std::string("n").append(std::to_string(value))); }
  bool string(std::string_view text) override {
    return add(std::string("s[").append(std::exchange(partial_, {})).append(text).append("]"));
  }
  bool key(std::string_view text) override {
    return add(std::string("k[").append(text).append("]"));
  }
  bool beginArray() override { return add("["); }
  bool endArray() override { return add("]"); }
  bool beginObject() override { return add("{"); }
  bool endObject() override { return add("}"); }
  bool takesStringParts() const override { return inParts_; }
  bool stringPart(std::string_view part) override {
    partial_ += part;
    ++parts;
    return true;
  }
  int parts = 0;

 private:
  bool add(const std::string& event) {
    log += event + " ";
    return true;
  }
  bool inParts_;
  std::string partial_;
};

TEST(JSONReaderTest, ReadingInPartsGivesWhatReadingWholeGives) {
  const std::string documents[] = {
      R"({"command":"add_file","arguments":{"name":"a b.png","data":"QUJD\/RA=="}})",
      R"([1, -2.5e3, 12345678901234567890, true, false, null, "\u00e9\ud83d\ude00", {}])",
      " 42 ",
  };
  for (const std::string& text : documents) {
    Recorder whole;
    ASSERT_EQ(readText(text, whole), std::nullopt) << text;
    for (bool inParts : {false, true}) {
      for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        Recorder parted(inParts);
        Reader reader(parted);
        ASSERT_TRUE(reader.write(text.substr(0, cut)));
        ASSERT_TRUE(reader.write(text.substr(cut)));
        ASSERT_EQ(reader.finish(), std::nullopt) << text << " cut at " << cut;
        EXPECT_EQ(parted.log, whole.log) << text << " cut at " << cut;
      }
    }
  }
}

TEST(JSONReaderTest, ALongStringCanBeTakenAsItArrives) {
  std::string data(100000, 'A');
  std::string text = R"({"data":")" + data + R"("})";
  Recorder sink(true);
  Reader reader(sink);
  for (std::size_t at = 0; at < text.size(); at += 4096)
    ASSERT_TRUE(reader.write(std::string_view(text).substr(at, 4096)));
  ASSERT_EQ(reader.finish(), std::nullopt);
  EXPECT_GT(sink.parts, 10);
  EXPECT_EQ(sink.log, "{ k[data] s[" + data + "] } ");
}

TEST(JSONReaderTest, BadOrUnfinishedTextIsAnError) {
  struct Case {
    std::vector<std::string> parts;
    bool writeFails;
  } cases[] = {
      {{"{\"a\":", "1"}, false},                               // unfinished
      {{"[1,", "]"}, true},      {{"{\"a\":1}", " x"}, true},  // text after the value
      {{"1e400"}, false},  // out of range shows once the number ends
      {{"\"\xff\""}, true},
  };
  for (const Case& c : cases) {
    Recorder sink;
    Reader reader(sink);
    bool written = true;
    for (const std::string& part : c.parts) written = written && reader.write(part);
    EXPECT_EQ(!written, c.writeFails) << c.parts[0];
    EXPECT_NE(reader.finish(), std::nullopt) << c.parts[0];
  }
}

}  // namespace
}  // namespace nolt::platform::json
