// The eleven tools. Their descriptions are written for agents: they say when to use each
// tool, and agents act on the wording, so it changes only on purpose.
#include <string_view>

#include "cli/agent/mcp_server.h"

namespace nolt::agent {

using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

namespace {

JSONValue schema(std::string_view type, std::string_view description) {
  return JSONObject{{"type", type}, {"description", description}};
}

JSONValue text(std::string_view description) { return schema("string", description); }

JSONValue tagsProperty() {
  return JSONObject{{"type", "array"},
                    {"items", JSONObject{{"type", "string"}}},
                    {"description", "Tags to add."}};
}

// Where a saving tool files what it saves: space, collection, tags.
JSONObject destination(JSONObject properties) {
  properties.set("space", text("Which space to save to. Defaults to the one open in Nolt."));
  properties.set("collection", text("A collection in that space to file it into."));
  properties.set("tags", tagsProperty());
  return properties;
}

std::vector<MCPServer::Tool> buildTools() {
  const JSONValue space = MCPServer::spaceProperty();
  const JSONValue itemID = text("The item's ID, from search.");
  return {
      {"search",
       "Search the user's Nolt library: visual references (screenshots, images, videos, PDFs) "
       "and their text (notes and links). Matches titles, notes, tags (write #tag), text read "
       "from images, link summaries, collection names and colors. Returns the newest matches "
       "first.",
       {{"query", text("Words to match, e.g. 'pricing page' or '#onboarding blue'. Empty lists "
                       "recent items.")},
        {"space", space},
        {"collection", text("Only items in this collection.")},
        {"limit", schema("integer", "How many items to return (default 20, at most 200).")}},
       {},
       "search",
       true},
      {"get_item",
       "Everything Nolt knows about one item: title, notes, tags, collections, source link, "
       "summary, text read from the image, notes pinned on the image and colors.",
       {{"id", itemID}},
       {"id"},
       "item",
       true},
      {"get_image",
       "The item's image, to look at it. Videos and PDFs return their poster.",
       {{"id", itemID},
        {"size", schema("integer", "Longest side in pixels (default 1024, at most 2048).")}},
       {"id"},
       "image",
       true},
      {"get_taste",
       "The user's design taste, worked out from what they saved: their rules for agents, a "
       "weighted palette with hex values, the tags and sites they save most, why they saved "
       "things (their notes and pins on images), and favorite items to look at with get_image. "
       "Call this before designing, styling or reviewing UI for the user, and follow its rules.",
       {{"space", space}, {"collection", text("Narrow it to one collection.")}},
       {},
       "taste",
       true},
      {"get_brief",
       "A design brief for one project, from its collection in Nolt: the rules and notes that "
       "apply, the board's palette as hex tokens, what sets it apart from the user's usual "
       "taste, and the references in it (with their notes, pins and text) to look at with "
       "get_image. Use it when the user names a project or collection to build for.",
       {{"collection", text("The collection's name or ID, from list_collections.")},
        {"space", text("The space it's in, if names repeat across spaces.")}},
       {"collection"},
       "brief",
       true},
      {"list_notes",
       "The user's notes in full. Notes marked as rules are standing instructions for agents: "
       "follow them.",
       {{"space", space},
        {"collection", text("Only notes in this collection.")},
        {"query", text("Words to match, or #tag.")},
        {"rules_only", schema("boolean", "Only the notes marked as rules.")}},
       {},
       "notes",
       true},
      {"list_spaces",
       "The spaces (separate libraries, like Personal or Work) shared with agents.",
       {},
       {},
       "spaces",
       true},
      {"list_collections",
       "Collections in the library, with how many items each holds.",
       {{"space", space}},
       {},
       "collections",
       true},
      {"add_link",
       "Save a web page to the user's Nolt library. It lands in the Inbox unless a collection "
       "is given.",
       destination(
           {{"url", text("The page's http or https URL.")}, {"note", text("A note to attach.")}}),
       {"url"},
       "add_link",
       false},
      {"add_file",
       "Save an image, video or PDF from this Mac to the user's Nolt library. It lands in the "
       "Inbox unless a collection is given.",
       destination({{"path", text("Absolute path of the file on this Mac.")},
                    {"note", text("A note to attach.")}}),
       {"path"},
       "add_file",
       false},
      {"add_note",
       "Save a note to the user's Nolt library, for something worth keeping from this "
       "conversation. With rule true it becomes a rule agents follow; only do that when the "
       "user asks for a rule.",
       destination({{"text", text("The note.")},
                    {"title", text("A short title.")},
                    {"rule", schema("boolean", "Mark it as a rule for agents.")}}),
       {"text"},
       "add_note",
       false},
  };
}

}  // namespace

const JSONObject& MCPServer::spaceProperty() {
  static const JSONObject property{
      {"type", "string"},
      {"description", "A space's name. Leave out to use every space shared with agents."}};
  return property;
}

const std::vector<MCPServer::Tool>& MCPServer::tools() {
  static const std::vector<Tool> table = buildTools();
  return table;
}

const MCPServer::Tool* MCPServer::findTool(std::string_view name) {
  for (const Tool& tool : tools())
    if (tool.name == name) return &tool;
  return nullptr;
}

JSONObject MCPServer::descriptor(const Tool& tool) {
  JSONArray required(tool.required.begin(), tool.required.end());
  return JSONObject{
      {"name", tool.name},
      {"description", tool.description},
      {"inputSchema",
       JSONObject{
           {"type", "object"}, {"properties", tool.properties}, {"required", std::move(required)}}},
      {"annotations", JSONObject{{"readOnlyHint", tool.readOnly}}},
  };
}

}  // namespace nolt::agent
