#include "cli/commands/file_intake.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cli/link/app_connection.h"
#include "tests/support/hostile_files.h"
#include "tests/support/temp_dir.h"
#include "wire/cli_records.h"

namespace nolt::commands {
namespace {

using link::AppConnection;
using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

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
    if (oldHome_)
      setenv("HOME", oldHome_->c_str(), 1);
    else
      unsetenv("HOME");
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
      return failure.text();
    }
    return "accepted";
  }

  // The streamed request for the file at `path`, gathered.
  static std::string streamed(const std::string& path, const JSONObject& base,
                              std::size_t* pieces = nullptr) {
    OpenedFile file = openedFile(path, base);
    FileRequest request("add_file", file);
    std::string text;
    request.write([&](std::string_view piece) {
      text += piece;
      if (pieces) ++*pieces;
      return true;
    });
    EXPECT_EQ(text.size(), request.length());
    return text;
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

// Other users' homes come from the user database (user_database_test.cpp has them with a
// password file of its own); a name no user has is a file below the current folder.
TEST_F(FileIntakeTest, TildeNamesAHomeOrAFileBelowTheCurrentFolder) {
  write("a.png", "\x89PNG");
  std::filesystem::create_directory(dir_ + "/~draft");
  write("~draft/b.png", "\x89PNG");
  write("~c.png", "\x89PNG");
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  struct Case {
    std::string path, message;
  } cases[] = {
      {"~/a.png", "accepted"},
      {"~", "Can't read ~."},  // a folder
      {"~nobody-at-all/a.png", "Can't read ~nobody-at-all/a.png."},
      {"~draft/b.png", "accepted"},
      {"~c.png", "accepted"},
  };
  for (const Case& c : cases) EXPECT_EQ(messageOf(c.path), c.message) << c.path;
  std::filesystem::current_path(before);
}

// The system is given a path up to its first NUL byte: the rest must not pick the file's kind.
TEST_F(FileIntakeTest, APathWithANulByteNamesNoFile) {
  std::string secret = write("secret.txt", "key");
  for (const std::string& path : {secret + std::string("\0.png", 5), std::string("~/\0a.png", 7)})
    EXPECT_EQ(messageOf(path), "Can't read " + path + ".");
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

// Whatever stands at the name, the intake answers at once: `nolt mcp` serves every agent
// through this code, so one blocked open would stall them all.
TEST_F(FileIntakeTest, HostileFilesAreRefusedAtOnce) {
  write("elsewhere.png", "PNG");
  std::string path = dir_ + "/shared/a.png";
  for (const test_support::HostileCase& c : test_support::kHostileCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test_support::plantHostile(c.kind, path, kMaxFileBytes, dir_ + "/elsewhere.png"));
    std::string message;
    EXPECT_TRUE(test_support::endsWithin(
        1, [&] { message = messageOf(path); }, path));
    EXPECT_EQ(message, c.kind == test_support::Hostile::linkOutOfFolder ? "accepted"
                       : c.kind == test_support::Hostile::overCap       ? "a.png is over 200 MB."
                                                                  : "Can't read " + path + ".");
  }
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

TEST_F(FileIntakeTest, RequestTextIsTheRequestTheEncoderWrites) {
  // Sizes around the chunking of the encoder, and bytes that give many "/".
  for (std::size_t size : {0, 1, 2, 3, 4095, 12288, 12289, 40000}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 256 | 0xFC);
    std::string path = write("p.mov", bytes);
    // The marker used inside must not be confused with an argument holding the same text.
    JSONObject base{{"note", "nolt-file-data"},
                    {"collection", "nolt-file-data-"},
                    {"tags", JSONArray{"a/b", "\""}}};
    std::string expected = wire::CLIRequest{"add_file", fileArguments(path, base)}.encode();
    std::string text = streamed(path, base);
    EXPECT_EQ(wire::JSONValue::decode(text), wire::JSONValue::decode(expected)) << size;
    // Only the file's text is written with "/" as it is; the other arguments as ever.
    EXPECT_NE(text.find("\"a\\/b\""), std::string::npos) << size;
  }
}

TEST_F(FileIntakeTest, StreamedRequestOfALargeFileIsTheWholeRequestInPieces) {
  // Past the reading chunk a few times over, with "/" throughout.
  std::string bytes(3 * 768 * 1024 + 5, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
  std::string path = write("big.mp4", bytes);
  std::size_t pieces = 0;
  std::string text = streamed(path, {}, &pieces);
  EXPECT_GT(pieces, 4u);
  // The same request as the whole one, with the text's "/" unescaped.
  EXPECT_EQ(
      wire::JSONValue::decode(text),
      wire::JSONValue::decode(wire::CLIRequest{"add_file", fileArguments(path, {})}.encode()));
  EXPECT_EQ(text.find("\\/"), std::string::npos);
}

TEST_F(FileIntakeTest, AFileThatChangesWhileItIsSentAbandonsTheRequest) {
  std::string original(100000, 'x');
  struct Case {
    std::string name;
    std::function<void(const std::string& path)> change;
  } cases[] = {
      {"grows", [&](const std::string& path) { std::ofstream(path, std::ios::app) << "more"; }},
      {"shrinks", [&](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 10), 0); }},
  };
  for (const Case& c : cases) {
    std::string path = write("clip.mov", original);
    OpenedFile file = openedFile(path, {});
    FileRequest request("add_file", file);
    c.change(path);
    std::uint64_t sent = 0;
    try {
      request.write([&](std::string_view piece) {
        sent += piece.size();
        return true;
      });
      ADD_FAILURE() << "a file that " << c.name << " was sent whole";
    } catch (const AppConnection::Failure& failure) {
      EXPECT_STREQ(failure.what(), "clip.mov changed while it was being sent; nothing was saved.");
    }
    EXPECT_LT(sent, request.length()) << c.name;  // never a whole frame, never more
  }
}

}  // namespace
}  // namespace nolt::commands
