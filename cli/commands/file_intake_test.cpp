#include "cli/commands/file_intake.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/link/app_connection.h"
#include "cli/link/cli_records.h"
#include "tests/support/temp_dir.h"

namespace nolt::commands {
namespace {

using link::AppConnection;
using link::JSONArray;
using link::JSONObject;
using link::JSONValue;

TEST(IsLinkWordTest, OnlyLowerCaseHTTPAndHTTPSAreLinks) {
  struct Case {
    const char* word;
    bool link;
  } cases[] = {
      {"https://example.com/a?b=c#d", true},
      {"http://example.com", true},
      {"http:relative", true},
      {"HTTPS://example.com", false},
      {"Http://example.com", false},
      {"ftp://example.com/file.png", false},
      {"file:///tmp/a.png", false},
      {"example.com", false},
      {"~/Pictures/a.png", false},
      {"./a.png", false},
      {"https://exa mple.com", false},  // does not parse
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isLinkWord(c.word), c.link) << c.word;
}

// A scratch HOME with files in it, restored afterwards.
class FileIntakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    if (const char* home = std::getenv("HOME")) oldHome_ = home;
    setenv("HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (oldHome_) setenv("HOME", oldHome_->c_str(), 1);
  }
  std::string write(const std::string& name, std::string_view bytes) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string sparse(const std::string& name, off_t size) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).close();
    EXPECT_EQ(truncate(path.c_str(), size), 0);
    return path;
  }
  static std::string messageOf(const std::string& path) {
    try {
      fileArguments(path, {});
    } catch (const AppConnection::Failure& failure) {
      EXPECT_EQ(failure.kind(), AppConnection::Failure::Kind::app);
      return failure.what();
    }
    return "accepted";
  }

  test_support::TempDir folder_;
  std::string dir_ = folder_.path();
  std::optional<std::string> oldHome_;
};

TEST_F(FileIntakeTest, TildePathGivesNameAndDataWithoutPath) {
  write("red chair.png", "\x89PNG\r\n");
  JSONObject arguments{{"path", "~/red chair.png"}, {"tags", JSONArray{"a"}}, {"space", "Work"}};
  JSONObject sent = fileArguments("~/red chair.png", arguments);
  JSONObject expected{
      {"tags", JSONArray{"a"}}, {"space", "Work"}, {"name", "red chair.png"}, {"data", "iVBORw0K"}};
  EXPECT_EQ(sent, expected);
}

TEST_F(FileIntakeTest, RefusesWithTheMessageForEachFault) {
  write("notes.txt", "x");
  write("README", "x");
  std::filesystem::create_directory(dir_ + "/folder.png");
  write("under.pdf", "");
  sparse("limit.pdf", kMaxFileBytes);
  sparse("over.pdf", kMaxFileBytes + 1);
  struct Case {
    std::string path, message;
  } cases[] = {
      {dir_ + "/missing.png", "Can't read " + dir_ + "/missing.png."},
      {"~/missing.png", "Can't read ~/missing.png."},
      {dir_ + "/folder.png", "Can't read " + dir_ + "/folder.png."},
      {dir_ + "/under.pdf/", "Can't read " + dir_ + "/under.pdf/."},
      {dir_ + "/over.pdf", "over.pdf is over 200 MB."},
      {dir_ + "/notes.txt", "Nolt saves images, videos and PDFs; notes.txt isn't one."},
      {dir_ + "/README", "Nolt saves images, videos and PDFs; README isn't one."},
      {dir_ + "/under.pdf", "accepted"},
  };
  for (const Case& c : cases) EXPECT_EQ(messageOf(c.path), c.message) << c.path;
  // Exactly at the limit is accepted; checked without Base64 to keep the test quick.
  EXPECT_EQ(checkedFile(dir_ + "/limit.pdf", {}).bytes.size, kMaxFileBytes);
}

TEST_F(FileIntakeTest, UnreadableFileGivesTheSystemsText) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  std::string path = write("locked.jpg", "x");
  chmod(path.c_str(), 0);
  EXPECT_THROW(
      {
        try {
          fileArguments(path, {});
        } catch (const FileReadError& error) {
          EXPECT_EQ(std::string(error.what()), path + ": Permission denied");
          throw;
        }
      },
      FileReadError);
}

TEST(Base64Test, PadsAndUsesTheStandardAlphabet) {
  struct Case {
    std::string bytes, text;
  } cases[] = {
      {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
      {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"},
  };
  for (const Case& c : cases) EXPECT_EQ(base64Text(c.bytes), c.text) << c.bytes;
  std::string long_(20000, 'x');
  EXPECT_EQ(base64Text(long_).find('\n'), std::string::npos);
}

TEST_F(FileIntakeTest, RequestTextIsWhatTheEncoderWrites) {
  // Sizes around the chunking of the encoder, and bytes that give many "/".
  for (std::size_t size : {0, 1, 2, 3, 4095, 12288, 12289, 40000}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 256 | 0xFC);
    std::string path = write("p.mov", bytes);
    // The marker used inside must not be confused with an argument holding the same text.
    JSONObject base{{"note", "nolt-file-data"},
                    {"collection", "nolt-file-data-"},
                    {"tags", JSONArray{"a/b", "\""}}};
    CheckedFile file = checkedFile(path, base);
    std::string expected = link::CLIRequest{"add_file", fileArguments(path, base)}.encode();
    EXPECT_EQ(fileRequestText("add_file", file), expected) << size;
  }
}

}  // namespace
}  // namespace nolt::commands
