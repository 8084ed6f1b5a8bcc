// The real nolt against the stand-in host, in a temporary HOME and runtime folder: what the
// host received, and what nolt printed where.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "cli/commands/dispatch.h"
#include "tests/support/subprocess.h"
#include "tests/support/test_host_process.h"
#include "wire/cli_records.h"

namespace nolt {
namespace {

using test_support::TempDir;
using test_support::TestHostProcess;
using wire::CLIRequest;
using wire::JSONValue;

// Longer than any command takes against the stand-in host; a nolt that hangs is killed.
constexpr double kRunTimeout = 120;

struct Outcome {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

std::string noltPath() {
  const char* bin = std::getenv("NOLT_BIN");
  return std::string(bin ? bin : NOLT_BIN_DIR) + "/nolt";
}

// Runs nolt with `arguments` in `environment`; its output goes to `stdoutFd` when given.
Outcome runNolt(const TempDir& scratch, const std::vector<std::string>& arguments,
                const std::map<std::string, std::string>& environment, int stdoutFd = -1,
                int stderrFd = -1) {
  std::string outPath = scratch.file("nolt.out"), errPath = scratch.file("nolt.err");
  test_support::Subprocess::Options options;
  options.argv = {noltPath()};
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  options.environment = environment;
  options.output = stdoutFd >= 0 ? test_support::Stream::descriptor(stdoutFd)
                                 : test_support::Stream::file(outPath);
  options.error = stderrFd >= 0 ? test_support::Stream::descriptor(stderrFd)
                                : test_support::Stream::file(errPath);
  test_support::Subprocess process(std::move(options));
  Outcome run;
  if (!process.started()) return run;
  run.status =
      test_support::shellStatus(process.wait(kRunTimeout) ? process.status() : process.kill());
  run.out = test_support::readFile(outPath).value_or("");
  run.err = test_support::readFile(errPath).value_or("");
  return run;
}

// A session with the stand-in host serving from a temporary runtime folder.
class NoltCLITest : public ::testing::Test {
 protected:
  void startHost(const std::string& replies = "{}") {
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(runtime());
    chmod(runtime().c_str(), 0700);
    scratch_.write("replies.json", replies);
    host_ = std::make_unique<TestHostProcess>(
        std::vector<std::string>{"--replies", scratch_.file("replies.json"), "--record",
                                 scratch_.file("requests.txt")},
        environment());
    ASSERT_TRUE(host_->ready());
  }

  std::string home() const { return scratch_.file("home"); }
  std::string runtime() const { return scratch_.file("run"); }
  std::map<std::string, std::string> environment() const {
    auto env = test_support::sessionEnvironment(home(), runtime());
    // No desktop entry of a real host may be found.
    env["XDG_DATA_DIRS"] = scratch_.file("no-data");
    return env;
  }
  Outcome nolt(const std::vector<std::string>& arguments, int stdoutFd = -1, int stderrFd = -1) {
    return runNolt(scratch_, arguments, environment(), stdoutFd, stderrFd);
  }

  std::vector<CLIRequest> requests() const {
    std::vector<CLIRequest> requests;
    std::istringstream lines(test_support::readFile(scratch_.file("requests.txt")).value_or(""));
    for (std::string line; std::getline(lines, line);) requests.push_back(CLIRequest::decode(line));
    return requests;
  }

  TempDir scratch_;
  std::unique_ptr<TestHostProcess> host_;
};

TEST_F(NoltCLITest, SearchPrintsItemsAndCountsOnStandardError) {
  startHost(R"({"search":{"result":{"items":[{"id":"A1","title":"Red chair","tags":["red"]},)"
            R"({"id":"B2","title":"Blue"}],"total":143}}})");
  Outcome run = nolt({"search", "red", "chair", "--limit", "5", "--space", "Work"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "A1  Red chair  #red\nB2  Blue\n");
  EXPECT_EQ(run.err, "2 of 143 items\n");
  ASSERT_EQ(requests().size(), 1u);
  EXPECT_EQ(requests()[0].toJSON(),
            JSONValue::decode(R"({"command":"search","arguments":)"
                              R"({"query":"red chair","limit":5,"space":"Work"}})"));

  Outcome json = nolt({"search", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_TRUE(json.out.starts_with("{\n  \"items\" : [\n")) << json.out;
  EXPECT_EQ(json.err, "");
}

TEST_F(NoltCLITest, UsageAndErrorsGoWhereTheyBelong) {
  startHost(R"({"item":{"error":"No item 9."}})");
  const std::string usage = std::string(commands::kUsageText) + "\n";
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out, err;
  } cases[] = {
      {{}, 0, usage, ""},
      {{"--help", "search"}, 0, usage, ""},
      {{"show"}, 1, "", "nolt: nolt show <id>\n"},
      {{"note", "--rule"}, 1, "", "nolt: nolt note <text…>\n"},
      {{"show", "9"}, 1, "", "nolt: No item 9.\n"},
      {{"--space"}, 1, "", "nolt: Unknown command “--space”.\n\n" + usage},
      {{"HELP"}, 1, "", "nolt: Unknown command “HELP”.\n\n" + usage},
  };
  for (const Case& c : cases) {
    Outcome run = nolt(c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
  // Only "show 9" reached the host.
  EXPECT_EQ(requests().size(), 1u);
}

TEST_F(NoltCLITest, AddSavesLinksAndFilesInOrder) {
  startHost();
  std::filesystem::create_directories(home() + "/Pictures");
  const std::string png(
      "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89", 33);
  scratch_.write("home/Pictures/dot.png", png);
  Outcome run = nolt({"add", "https://example.com/a", "~/Pictures/dot.png", "--tag", "a", "--tag",
                      "b", "--space", "Work"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Saving https://example.com/a\nSaving ~/Pictures/dot.png\n");
  auto sent = requests();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].command, "add_link");
  EXPECT_EQ(
      JSONValue(sent[0].arguments),
      JSONValue::decode(R"({"url":"https://example.com/a","tags":["a","b"],"space":"Work"})"));
  EXPECT_EQ(sent[1].command, "add_file");
  EXPECT_EQ(JSONValue(sent[1].arguments),
            JSONValue::decode(R"({"name":"dot.png","tags":["a","b"],"space":"Work","data":)"
                              R"("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJ"})"));
}

TEST_F(NoltCLITest, AddRefusesWhatItCannotSave) {
  startHost();
  std::filesystem::create_directories(scratch_.file("folder.png"));
  scratch_.write("ok.jpg", "jpeg");
  scratch_.write("notes.txt", "text");
  std::string over = scratch_.file("big.pdf");
  std::ofstream(over).close();
  ASSERT_EQ(truncate(over.c_str(), 209'715'201), 0);
  // Neither may hold nolt up: one never opens for a plain reader, the other never ends.
  ASSERT_EQ(mkfifo(scratch_.file("pipe.png").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", scratch_.file("zero.png"));
  struct Case {
    std::vector<std::string> words;
    std::string out, err;
    std::size_t sent;
  } cases[] = {
      {{scratch_.file("folder.png")},
       "",
       "nolt: Can't read " + scratch_.file("folder.png") + ".\n",
       0},
      {{"missing.png"}, "", "nolt: Can't read missing.png.\n", 0},
      {{"HTTPS://example.com"}, "", "nolt: Can't read HTTPS://example.com.\n", 0},
      // Another user's home: root's, or a file below the current folder if no user has that name.
      {{"~root/a.png"}, "", "nolt: Can't read ~root/a.png.\n", 0},
      {{over}, "", "nolt: big.pdf is over 200 MB.\n", 0},
      {{scratch_.file("pipe.png")}, "", "nolt: Can't read " + scratch_.file("pipe.png") + ".\n", 0},
      {{scratch_.file("zero.png")}, "", "nolt: Can't read " + scratch_.file("zero.png") + ".\n", 0},
      {{scratch_.file("ok.jpg"), scratch_.file("notes.txt"), scratch_.file("ok.jpg")},
       "Saving " + scratch_.file("ok.jpg") + "\n",
       "nolt: Nolt saves images, videos and PDFs; notes.txt isn't one.\n",
       1},
      {{}, "", "nolt: nolt add <url|file…>\n", 0},
  };
  std::size_t total = 0;
  for (const Case& c : cases) {
    std::vector<std::string> arguments{"add"};
    arguments.insert(arguments.end(), c.words.begin(), c.words.end());
    Outcome run = nolt(arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    total += c.sent;
    EXPECT_EQ(requests().size(), total);
  }
}

// A file of exactly the limit travels whole. Its request is 267 MiB of Base64 text, which
// the stand-in host must accept.
TEST_F(NoltCLITest, AddSendsAFileOfExactlyTheLimit) {
  startHost();
  std::string limit = scratch_.file("limit.pdf");
  std::ofstream(limit).close();
  ASSERT_EQ(truncate(limit.c_str(), 209'715'200), 0);
  Outcome run = nolt({"add", limit});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Saving " + limit + "\n");
  // The recorded request is read at both ends only: decoding it whole would take a gigabyte.
  const std::string head = R"({"arguments":{"data":"AAAA)";
  const std::string tail = R"(AAA=","name":"limit.pdf","tags":[]},"command":"add_file"})"
                           "\n";
  std::ifstream recorded(scratch_.file("requests.txt"), std::ios::binary | std::ios::ate);
  ASSERT_TRUE(recorded);
  std::size_t size = static_cast<std::size_t>(recorded.tellg());
  EXPECT_EQ(size, std::string(R"({"arguments":{"data":"","name":"limit.pdf","tags":[]},)"
                              R"("command":"add_file"})")
                          .size() +
                      209'715'200u / 3 * 4 + 4 + 1);  // 2 bytes left over: "AAA="
  std::string start(head.size(), '\0'), end(tail.size(), '\0');
  recorded.seekg(0);
  recorded.read(start.data(), static_cast<std::streamsize>(start.size()));
  recorded.seekg(static_cast<std::streamoff>(size - tail.size()));
  recorded.read(end.data(), static_cast<std::streamsize>(end.size()));
  EXPECT_EQ(start, head);
  EXPECT_EQ(end, tail);
}

TEST_F(NoltCLITest, ClosedPipeEndsQuietly) {
  std::string items;
  for (int i = 0; i < 5000; ++i)
    items += std::string(i ? "," : "") + R"({"id":")" + std::to_string(i) + R"(","title":"x"})";
  startHost(R"({"search":{"result":{"items":[)" + items + "]}}}");
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  close(pipeFds[0]);
  Outcome run = nolt({"search", "x"}, pipeFds[1]);
  close(pipeFds[1]);
  EXPECT_EQ(run.status, 128 + SIGPIPE);
  EXPECT_EQ(run.err, "");
}

// What a terminal shows of a run whose standard output and error both go to it.
std::string onTerminal(const std::function<Outcome(int terminal)>& run) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "no terminal";
  int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  run(terminal);
  close(terminal);
  std::string shown;
  char buffer[256];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
  close(master);
  return shown;
}

TEST_F(NoltCLITest, TerminalSeesNoControlCharacters) {
  startHost(R"({"search":{"result":{"items":[{"id":"1","title":"a\u001b]0;x\u0007b"}]}},)"
            R"("item":{"error":"No \u001b[2Jitem."},"taste":{"result":{"t":"a\u009bb\u202ec"}}})");
  auto shown = onTerminal([&](int terminal) { return nolt({"search", "x"}, terminal, terminal); });
  EXPECT_EQ(shown,
            "1  a\xEF\xBF\xBD]0;x\xEF\xBF\xBD"
            "b\r\n1 items\r\n");
  shown = onTerminal([&](int terminal) { return nolt({"show", "1"}, terminal, terminal); });
  EXPECT_EQ(shown, "nolt: No \xEF\xBF\xBD[2Jitem.\r\n");
  shown = onTerminal([&](int terminal) { return nolt({"taste"}, terminal, terminal); });
  EXPECT_EQ(shown, "{\r\n  \"t\" : \"a\\u009bb\\u202ec\"\r\n}\r\n");

  // Into files the bytes go out as they are.
  Outcome piped = nolt({"search", "x"});
  EXPECT_EQ(piped.out,
            "1  a\x1b]0;x\x07"
            "b\n");
  EXPECT_EQ(nolt({"show", "1"}).err, "nolt: No \x1b[2Jitem.\n");
  EXPECT_EQ(nolt({"taste"}).out,
            "{\n  \"t\" : \"a\xC2\x9B"
            "b\xE2\x80\xAE"
            "c\"\n}\n");
}

// A host's text reaches the person whole, NUL bytes and all, as its bytes into a file and
// with the NUL shown on a terminal.
TEST_F(NoltCLITest, ErrorTextsArePrintedWhole) {
  startHost(R"({"item":{"error":"bad\u0000thing"}})");
  Outcome run = nolt({"show", "1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, std::string("nolt: bad\0thing\n", 16));
  auto shown = onTerminal([&](int terminal) { return nolt({"show", "1"}, terminal, terminal); });
  EXPECT_EQ(shown, "nolt: bad\xEF\xBF\xBDthing\r\n");
}

TEST_F(NoltCLITest, NoHostAndNoWayToStartOne) {
  std::filesystem::create_directories(runtime());
  Outcome run = nolt({"spaces"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "nolt: Couldn't open Nolt.\n");
}

}  // namespace
}  // namespace nolt
