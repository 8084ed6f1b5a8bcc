#include "cli/commands/dispatch.h"

#include <array>

#include "cli/commands/arguments.h"
#include "cli/commands/file_intake.h"
#include "cli/commands/rendering.h"

namespace nolt::commands {

using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

const std::string_view kUsageText =
    "Usage: nolt <command> [options]\n"
    "\n"
    "  search <words…>     Search the library. #tag matches a tag.\n"
    "      --space <name>  Only this space.\n"
    "      --collection <name>\n"
    "      --limit <n>     How many (default 20).\n"
    "  show <id>           Everything about one item.\n"
    "  add <url|file…>     Save links or files to the Inbox.\n"
    "      --space <name>  Save to this space (default: the open one).\n"
    "      --collection <name>\n"
    "      --tag <tag>     Add a tag (repeat for more).\n"
    "      --note <text>   Attach a note.\n"
    "  open <id>           Show the item in Nolt.\n"
    "  taste               Your taste: rules, palette, tags, sources, favorites.\n"
    "      --space <name>  Only this space.\n"
    "      --collection <name>\n"
    "  brief <collection>  A design brief from a collection.\n"
    "  notes [words…]      Your notes in full.\n"
    "      --rules         Only the notes marked as rules.\n"
    "  note <text…>        Save a note.\n"
    "      --rule          Mark it as a rule for agents.\n"
    "  spaces              List spaces.\n"
    "  collections         List collections (--space to narrow).\n"
    "  mcp                 Run the MCP server on stdin/stdout, for agents.\n"
    "\n"
    "  --json              Print raw JSON (search, show, spaces, collections).\n"
    "\n"
    "Nolt must allow it: Settings → Integrations.";

namespace {

// One run: the split command line, the command's own words and the services.
struct Invocation {
  const ParsedArguments& parsed;
  std::vector<std::string> words;
  Services& services;

  bool json() const { return parsed.hasFlag("json"); }

  std::string joinedWords() const {
    std::string joined;
    for (const std::string& word : words) {
      if (!joined.empty()) joined += ' ';
      joined += word;
    }
    return joined;
  }

  // The first word, or the usage error `usage` when there is none.
  const std::string& firstWord(const char* usage) const {
    if (words.empty()) throw UsageError(usage);
    return words.front();
  }

  void copyOption(JSONObject& arguments, std::string_view name) const {
    if (auto value = parsed.lastOption(name)) arguments.set(std::string(name), *value);
  }

  JSONValue send(std::string_view command, const JSONObject& arguments) const {
    return services.send(command, arguments);
  }

  // Lines made from the host's texts, made harmless when they go to a terminal.
  void printText(std::string_view text) const {
    write(services.out, services.outIsTerminal ? terminalSafe(text) : std::string(text));
  }
  void printErrorText(std::string_view text) const {
    write(services.err, services.errIsTerminal ? terminalSafe(text) : std::string(text));
  }
  void printJSON(const JSONValue& result) const {
    std::string json = renderJSON(result);
    write(services.out, services.outIsTerminal ? terminalSafeJSON(json) : json);
  }

  static void write(const std::function<void(std::string_view)>& stream, std::string_view text) {
    stream(text);
  }
};

void printUsage(const Invocation& run) {
  Invocation::write(run.services.out, std::string(kUsageText) + "\n");
}

void runMCP(const Invocation& run) { run.services.serveAgents(); }

void runSearch(const Invocation& run) {
  JSONObject arguments{{"query", run.joinedWords()}};
  run.copyOption(arguments, "space");
  run.copyOption(arguments, "collection");
  // An unreadable limit is left to the host's default, without a message.
  if (auto limit = run.parsed.lastOption("limit"))
    if (auto number = wire::parseDecimalInteger(*limit)) arguments.set("limit", *number);
  JSONValue result = run.send("search", arguments);
  if (run.json()) return run.printJSON(result);
  Rendered rendered = renderSearch(result);
  run.printText(rendered.out);
  run.printErrorText(rendered.err);
}

void runShow(const Invocation& run) {
  JSONObject arguments{{"id", run.firstWord("nolt show <id>")}};
  run.printJSON(run.send("item", arguments));
}

void runAdd(const Invocation& run) {
  if (run.words.empty()) throw UsageError("nolt add <url|file…>");
  JSONObject base;
  run.copyOption(base, "space");
  run.copyOption(base, "collection");
  JSONArray tags;
  for (std::string& tag : run.parsed.allOptions("tag")) tags.emplace_back(std::move(tag));
  base.set("tags", std::move(tags));
  run.copyOption(base, "note");

  for (const std::string& word : run.words) {
    if (isLinkWord(word)) {
      JSONObject arguments = base;
      arguments.set("url", word);
      run.send("add_link", arguments);
    } else if (run.services.sendStreamed) {
      OpenedFile file = openedFile(word, base);
      FileRequest request("add_file", file);
      run.services.sendStreamed(
          request.length(), [&](const FileRequest::PayloadWriter& write) { request.write(write); });
    } else {
      run.send("add_file", fileArguments(word, base));
    }
    run.printText("Saving " + word + "\n");
  }
}

void runTaste(const Invocation& run) {
  JSONObject arguments;
  run.copyOption(arguments, "space");
  run.copyOption(arguments, "collection");
  run.printJSON(run.send("taste", arguments));
}

void runBrief(const Invocation& run) {
  run.firstWord("nolt brief <collection>");
  JSONObject arguments{{"collection", run.joinedWords()}};
  run.copyOption(arguments, "space");
  run.printJSON(run.send("brief", arguments));
}

void runNotes(const Invocation& run) {
  JSONObject arguments{{"query", run.joinedWords()}};
  run.copyOption(arguments, "space");
  run.copyOption(arguments, "collection");
  if (run.parsed.hasFlag("rules")) arguments.set("rules_only", true);
  JSONValue result = run.send("notes", arguments);
  if (run.json()) return run.printJSON(result);
  run.printText(renderNotes(result));
}

void runNote(const Invocation& run) {
  run.firstWord("nolt note <text…>");
  JSONObject arguments{{"text", run.joinedWords()}};
  run.copyOption(arguments, "space");
  run.copyOption(arguments, "collection");
  JSONArray tags;
  for (std::string& tag : run.parsed.allOptions("tag")) tags.emplace_back(std::move(tag));
  arguments.set("tags", std::move(tags));
  if (run.parsed.hasFlag("rule")) arguments.set("rule", true);
  run.printText(renderNoteSaved(run.send("add_note", arguments)));
}

void runOpen(const Invocation& run) {
  JSONObject arguments{{"id", run.firstWord("nolt open <id>")}};
  run.send("open", arguments);
}

void runSpaces(const Invocation& run) {
  JSONValue result = run.send("spaces", JSONObject());
  if (run.json()) return run.printJSON(result);
  run.printText(renderSpaces(result));
}

void runCollections(const Invocation& run) {
  JSONObject arguments;
  run.copyOption(arguments, "space");
  JSONValue result = run.send("collections", arguments);
  if (run.json()) return run.printJSON(result);
  run.printText(renderCollections(result));
}

struct Command {
  std::string_view word;
  void (*run)(const Invocation&);
};

// The command words, in the order they are matched.
constexpr std::array kCommands = {
    Command{"mcp", runMCP},
    Command{"search", runSearch},
    Command{"show", runShow},
    Command{"add", runAdd},
    Command{"taste", runTaste},
    Command{"brief", runBrief},
    Command{"notes", runNotes},
    Command{"note", runNote},
    Command{"open", runOpen},
    Command{"spaces", runSpaces},
    Command{"collections", runCollections},
    Command{"help", printUsage},
    Command{"-h", printUsage},
    Command{"--help", printUsage},
};

}  // namespace

void runCommand(const std::vector<std::string>& arguments, Services& services) {
  ParsedArguments parsed = parseArguments(arguments);
  if (parsed.positionals.empty()) {
    Invocation::write(services.out, std::string(kUsageText) + "\n");
    return;
  }
  std::string word = parsed.positionals.front();
  Invocation run{parsed, {parsed.positionals.begin() + 1, parsed.positionals.end()}, services};
  for (const Command& command : kCommands)
    if (command.word == word) return command.run(run);
  throw UsageError("Unknown command “" + word + "”.\n\n" + std::string(kUsageText));
}

}  // namespace nolt::commands
