#include "host/command_handlers.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <boost/url/parse.hpp>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <new>
#include <system_error>

#include "host/arguments.h"
#include "host/item_presentation.h"
#include "host/store_failure.h"
#include "host/taste.h"
#include "host/titles.h"
#include "host/web_address.h"
#include "platform/base64.h"
#include "platform/deep_link.h"
#include "platform/file_types.h"
#include "platform/free_memory.h"
#include "platform/json_text.h"
#include "wire/cli_records.h"

namespace nolt::host {

using platform::readAll;

namespace {

using platform::kMaxFileBytes;
using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;

std::string inQuotes(std::string_view text) { return "“" + std::string(text) + "”"; }

JSONValue texts(const std::vector<std::string>& values) {
  return JSONArray(values.begin(), values.end());
}

Item requireItem(Library& library, const JSONObject& arguments) {
  std::optional<std::string> text = textArgument(arguments, "id");
  if (!text || text->empty()) throw CommandError("Which item? Give its ID, from search.");
  auto uuid = platform::UUID::parse(*text);
  if (!uuid) throw CommandError(inQuotes(*text) + " isn't an item ID; search shows them.");
  std::optional<Item> item = library.item(uuid->uuidString());
  if (!item) throw CommandError("No item has the ID " + uuid->uuidString() + ".");
  return *item;
}

// Where a new item or note goes: the named space and collection, else the collection's own
// space, else the space open in the host.
struct Destination {
  std::string spaceID;
  std::optional<std::string> collectionID;
};

Destination destinationOf(Library& library, const JSONObject& arguments) {
  Scope scope = resolveScope(library, arguments);
  Destination destination;
  if (scope.space)
    destination.spaceID = scope.space->id;
  else if (scope.collection && scope.collection->spaceID)
    destination.spaceID = *scope.collection->spaceID;
  else
    destination.spaceID = library.currentSpaceID().value_or("");
  if (scope.collection) destination.collectionID = scope.collection->id;
  return destination;
}

// The moment a record is made, as the library keeps it: seconds since 1970.
double nowSince1970(HostServices& s) { return platform::secondsSince1970(s.clock.now()); }

std::optional<Note> attachedNote(HostServices& s, const JSONObject& arguments,
                                 const std::string& itemID) {
  std::optional<std::string> text = textArgument(arguments, "note");
  if (!text || text->find_first_not_of(" \t\r\n") == std::string::npos) return std::nullopt;
  Note note;
  note.id = s.uuids.next().uuidString();
  note.text = *text;
  note.itemID = itemID;
  note.createdAt = nowSince1970(s);
  return note;
}

// "example.com/pricing" for https://www.example.com/pricing/.
std::string titleOfURL(const boost::urls::url_view& url) {
  std::string title = siteOf(url.buffer()).value_or(std::string(url.encoded_host()));
  std::string path(url.path());
  while (!path.empty() && path.back() == '/') path.pop_back();
  return title + path;
}

JSONValue searchResult(HostServices& s, const JSONObject& arguments) {
  Scope scope = resolveScope(s.library, arguments);
  std::int64_t limit = integerArgument(arguments, "limit").value_or(kDefaultLimit);
  if (limit < 0) throw CommandError(inQuotes("limit") + " can't be negative.");
  limit = std::min(limit, kMaxLimit);
  Filter filter = scope.filter();
  QueryWords query = splitQuery(textArgument(arguments, "query").value_or(""));
  filter.words = query.words;
  filter.tags = query.tags;
  SearchPage page = s.library.search(filter, limit);
  JSONArray items;
  for (const Item& item : page.items) {
    JSONObject entry{{"id", item.id},
                     {"title", item.title},
                     {"tags", texts(item.tags)},
                     {"kind", kindName(item.kind)},
                     {"space", spaceName(s.library, item.spaceID)},
                     {"createdAt", isoDate(item.createdAt)}};
    if (item.url) entry.set("url", *item.url);
    items.push_back(std::move(entry));
  }
  return JSONObject{{"items", std::move(items)}, {"total", page.total}};
}

JSONValue imageResult(HostServices& s, const JSONObject& arguments) {
  Item item = requireItem(s.library, arguments);
  std::int64_t size = integerArgument(arguments, "size").value_or(kDefaultImageSize);
  if (size < 1) throw CommandError(inQuotes("size") + " must be at least 1 pixel.");
  int side = static_cast<int>(std::min(size, kMaxImageSize));
  std::optional<EncodedImage> image;
  if (item.kind == ItemKind::image && item.fileName)
    if (auto bytes = s.files.read(item.id, *item.fileName)) image = s.images.scaled(*bytes, side);
  if (!image) {
    // Videos, PDFs and everything without a picture of its own get a poster.
    PosterKind kind = item.kind == ItemKind::video  ? PosterKind::video
                      : item.kind == ItemKind::pdf  ? PosterKind::pdf
                      : item.kind == ItemKind::link ? PosterKind::link
                      : item.kind == ItemKind::text ? PosterKind::text
                                                    : PosterKind::file;
    image = s.images.poster(kind, item.id, side);
  }
  return JSONObject{{"data", platform::base64::encode(image->data)},
                    {"mimeType", image->mimeType},
                    {"width", image->width},
                    {"height", image->height}};
}

JSONValue notesResult(HostServices& s, const JSONObject& arguments) {
  Filter filter = resolveScope(s.library, arguments).filter();
  QueryWords query = splitQuery(textArgument(arguments, "query").value_or(""));
  filter.words = query.words;
  filter.tags = query.tags;
  JSONArray notes;
  for (const Note& note : s.library.notes(filter, flagArgument(arguments, "rules_only")))
    notes.push_back(noteJSON(note));
  return JSONObject{{"notes", std::move(notes)}};
}

JSONValue addNoteResult(HostServices& s, const JSONObject& arguments) {
  std::string text = textArgument(arguments, "text").value_or("");
  if (text.find_first_not_of(" \t\r\n") == std::string::npos)
    throw CommandError("A note needs some text.");
  Destination destination = destinationOf(s.library, arguments);
  Note note;
  note.id = s.uuids.next().uuidString();
  note.text = text;
  note.title = textArgument(arguments, "title").value_or("");
  if (note.title.empty()) note.title = titleOfText(text);
  note.rule = flagArgument(arguments, "rule");
  note.tags = tagsArgument(arguments, "tags");
  note.spaceID = destination.spaceID;
  note.collectionID = destination.collectionID;
  note.createdAt = nowSince1970(s);
  s.library.addNote(note);
  return JSONObject{{"id", note.id}, {"title", note.title}};
}

JSONValue addLinkResult(HostServices& s, const JSONObject& arguments) {
  std::string text = textArgument(arguments, "url").value_or("");
  auto parsed = boost::urls::parse_uri(text);
  if (!parsed || !isWebAddress(text))
    throw CommandError(text.empty() ? "Which page? Give its http or https address."
                                    : inQuotes(text) + " isn't an http or https address.");
  Destination destination = destinationOf(s.library, arguments);
  Item item;
  item.id = s.uuids.next().uuidString();
  item.kind = ItemKind::link;
  item.url = text;
  item.title = textArgument(arguments, "title").value_or("");
  if (item.title.empty()) item.title = titleOfURL(*parsed);
  item.spaceID = destination.spaceID;
  if (destination.collectionID) item.collectionIDs.push_back(*destination.collectionID);
  item.tags = tagsArgument(arguments, "tags");
  item.createdAt = nowSince1970(s);
  s.library.addItem(item, attachedNote(s, arguments, item.id));
  return JSONObject{{"id", item.id}, {"title", item.title}};
}

// The checked name and kind of a file to add; throws CommandError for anything else.
struct FileToAdd {
  std::string name;
  ItemKind kind = ItemKind::file;
  const platform::FileType* type = nullptr;
};

std::string fileNameArgument(const JSONObject& arguments, bool hasData) {
  std::string name = textArgument(arguments, "name").value_or("");
  if (name.empty() || !hasData)
    throw CommandError("Send the file's name and its content as Base64 (\"name\" and \"data\").");
  return FileStore::safeName(name.substr(name.rfind('/') + 1));
}

FileToAdd fileKind(std::string name) {
  FileToAdd file{std::move(name)};
  file.type = platform::typeForExtension(platform::pathExtension(file.name));
  if (file.type && file.type->conforms(platform::kImageType)) file.kind = ItemKind::image;
  if (file.type && file.type->conforms(platform::kMovieType)) file.kind = ItemKind::video;
  if (file.type && file.type->conforms(platform::kPDFType)) file.kind = ItemKind::pdf;
  if (file.kind == ItemKind::file)
    throw CommandError("Nolt saves images, videos and PDFs; " + file.name + " isn't one.");
  return file;
}

// Makes the item: `imageBytes` gives an image's bytes to look at, `store` puts the file in
// place under the new item's id.
JSONValue addFileItem(HostServices& s, const JSONObject& arguments, const FileToAdd& file,
                      const std::function<std::optional<std::string>()>& imageBytes,
                      const std::function<void(const std::string& id)>& store) {
  Destination destination = destinationOf(s.library, arguments);
  Item item;
  item.id = s.uuids.next().uuidString();
  item.kind = file.kind;
  item.fileName = file.name;
  item.mimeType = std::string(file.type->preferredMIMEType);
  item.title = textArgument(arguments, "title").value_or("");
  if (item.title.empty()) item.title = titleOfFileName(file.name);
  item.spaceID = destination.spaceID;
  if (destination.collectionID) item.collectionIDs.push_back(*destination.collectionID);
  item.tags = tagsArgument(arguments, "tags");
  item.createdAt = nowSince1970(s);
  if (file.kind == ItemKind::image) {
    std::optional<std::string> bytes = imageBytes();
    if (auto facts = bytes ? s.images.inspect(*bytes) : std::nullopt) {
      item.width = facts->width;
      item.height = facts->height;
      item.colors = facts->palette;
    }
  }
  // The file is whole on disk before its item commits; a failed commit takes it away again.
  store(item.id);
  try {
    s.library.addItem(item, attachedNote(s, arguments, item.id));
  } catch (...) {
    s.files.remove(item.id);
    throw;
  }
  return JSONObject{{"id", item.id}, {"title", item.title}};
}

JSONValue addFileResult(HostServices& s, const JSONObject& arguments) {
  std::optional<std::string> data = textArgument(arguments, "data");
  std::string name = fileNameArgument(arguments, data.has_value());
  // Checked before decoding, so an oversized request costs no second copy.
  if (data->size() / 4 * 3 > kMaxFileBytes + 3) throw CommandError(name + " is over 200 MB.");
  std::optional<std::string> bytes =
      platform::base64::decode(*data, platform::base64::Mode::lenient);
  if (!bytes) throw CommandError("The content of " + name + " isn't Base64.");
  if (bytes->size() > kMaxFileBytes) throw CommandError(name + " is over 200 MB.");
  data.reset();
  FileToAdd file = fileKind(std::move(name));
  return addFileItem(
      s, arguments, file, [&] { return bytes; },
      [&](const std::string& id) { s.files.save(id, file.name, *bytes); });
}

// add_file whose data was decoded into the store as it arrived.
JSONValue addReceivedFile(HostServices& s, const JSONObject& arguments, ReceivedFile& received) {
  std::string name = fileNameArgument(arguments, true);
  if (received.overLimit) throw CommandError(name + " is over 200 MB.");
  if (received.storeError)
    throw CommandError("Nolt couldn't save " + name + ": " + *received.storeError);
  if (!received.base64 || !received.file)
    throw CommandError("The content of " + name + " isn't Base64.");
  FileToAdd file = fileKind(std::move(name));
  int fd = received.file->fd();
  if (::fsync(fd) != 0) throw std::system_error(errno, std::generic_category(), "Can't save");
  return addFileItem(
      s, arguments, file, [&] { return readAll(fd, kMaxFileBytes); },
      [&](const std::string& id) { s.files.adopt(id, file.name, fd); });
}

JSONValue spacesResult(HostServices& s, const JSONObject&) {
  JSONArray spaces;
  std::optional<std::string> current = s.library.currentSpaceID();
  for (const Space& space : s.library.spaces())
    spaces.push_back(JSONObject{{"id", space.id},
                                {"emoji", space.emoji},
                                {"name", space.name},
                                {"items", s.library.itemCountInSpace(space.id)},
                                {"current", space.id == current}});
  return spaces;
}

JSONValue collectionsResult(HostServices& s, const JSONObject& arguments) {
  std::optional<Space> only;
  if (auto name = textArgument(arguments, "space"); name && !name->empty())
    only = resolveSpace(s.library, *name);
  JSONArray collections;
  for (const Collection& collection : s.library.collections()) {
    if (only && collection.spaceID != only->id) continue;
    JSONObject entry{{"id", collection.id},
                     {"name", collection.name},
                     {"items", s.library.itemCountInCollection(collection.id)}};
    if (collection.spaceID) entry.set("space", spaceName(s.library, *collection.spaceID));
    collections.push_back(std::move(entry));
  }
  return collections;
}

JSONValue openResult(HostServices& s, const JSONObject& arguments) {
  Item item = requireItem(s.library, arguments);
  std::string target;
  if (item.url)
    target = *item.url;
  else if (item.fileName)
    target = s.files.pathOf(item.id, *item.fileName).string();
  else
    throw CommandError(inQuotes(item.title) + " is a note-like item; search shows its text.");
  if (std::optional<std::string> error = s.opener.open(target))
    throw CommandError("Couldn't open " + inQuotes(item.title) + ": " + *error);
  return JSONObject{{"opened", item.id}};
}

struct Command {
  std::string_view name;
  JSONValue (*run)(HostServices&, const JSONObject&);
  bool changes;  // publish the library's files after it succeeds
  // For a request whose "data" was decoded into the store as it arrived.
  JSONValue (*runReceived)(HostServices&, const JSONObject&, ReceivedFile&) = nullptr;
};

constexpr std::array kCommands = {
    Command{"search", searchResult, false},
    Command{"item",
            [](HostServices& s, const JSONObject& a) {
              return itemJSON(s.library, requireItem(s.library, a));
            },
            false},
    Command{"image", imageResult, false},
    Command{"taste", [](HostServices& s, const JSONObject& a) { return tasteJSON(s.library, a); },
            false},
    Command{"brief", [](HostServices& s, const JSONObject& a) { return briefJSON(s.library, a); },
            false},
    Command{"notes", notesResult, false},
    Command{"add_note", addNoteResult, true},
    Command{"add_link", addLinkResult, true},
    Command{"add_file", addFileResult, true, addReceivedFile},
    Command{"spaces", spacesResult, false},
    Command{"collections", collectionsResult, false},
    Command{"open", openResult, false},
};

}  // namespace

JSONValue CommandHandlers::handle(std::string_view command, const JSONObject& arguments,
                                  ReceivedFile* received) {
  for (const Command& entry : kCommands) {
    if (entry.name != command) continue;
    JSONValue result = received && entry.runReceived
                           ? entry.runReceived(services_, arguments, *received)
                           : entry.run(services_, arguments);
    if (entry.changes && changed_) changed_();
    // taste and brief read every item of their scope: beyond what the next one needs, what
    // they freed goes back to the system.
    if (entry.name == "taste" || entry.name == "brief") platform::releaseFreeMemory();
    return result;
  }
  throw CommandError("Nolt doesn't know the command " + inQuotes(command) + ".");
}

std::string CommandHandlers::respond(std::string_view request) {
  return answer([&] {
    wire::CLIRequest decoded = wire::CLIRequest::decode(request);
    return handle(decoded.command, decoded.arguments);
  });
}

std::string CommandHandlers::respond(const wire::JSONValue& request, ReceivedFile* received) {
  return answer([&] {
    wire::CLIRequest decoded = wire::CLIRequest::fromJSON(request);
    return handle(decoded.command, decoded.arguments, received);
  });
}

std::string CommandHandlers::answer(const std::function<wire::JSONValue()>& run) {
  wire::CLIResponse response;
  try {
    response.result = run();
  } catch (const wire::JSONDecodingError&) {
    response.error = "Nolt couldn't read the request.";
  } catch (const CommandError& error) {
    response.error = error.what();
  } catch (const QueryError& error) {
    response.error = error.what();
  } catch (const StoreError& error) {
    // SQLite's own text means nothing to the person reading the reply.
    response.error = storeFailureText(error);
  } catch (const std::system_error& error) {
    response.error = fileFailureText(error);
  } catch (const std::bad_alloc&) {
    response.error = "Nolt ran out of memory for this request.";
  } catch (const std::exception& error) {
    response.error = std::string("Nolt couldn't do that: ") + error.what();
  }
  try {
    return response.encode();
  } catch (const wire::JSONEncodingError&) {
    return wire::CLIResponse{std::nullopt, "Nolt couldn't write its answer."}.encode();
  }
}

}  // namespace nolt::host
