#include "safari/safari_handler.h"

#include <array>
#include <filesystem>

#include "capture/capture_destinations.h"
#include "capture/container.h"
#include "capture/inbox.h"
#include "platform/base64.h"
#include "platform/file_types.h"
#include "safari/native_messaging.h"

namespace nolt::safari {

namespace {

using capture::IncomingRequest;
using wire::JSONArray;
using wire::JSONObject;
using wire::JSONValue;
using SaveError = SafariWebExtensionHandler::SaveError;

// The message's value for `key` when it is a string; other types count as absent.
const std::string* stringValue(const JSONObject& message, std::string_view key) {
  const JSONValue* value = message.find(key);
  return value ? value->string() : nullptr;
}

std::optional<platform::UUID> uuidValue(const JSONObject& message, std::string_view key) {
  const std::string* text = stringValue(message, key);
  return text ? platform::UUID::parse(*text) : std::nullopt;
}

// Only an address with a scheme can be opened again later; anything else is not a URL here.
std::optional<std::string> urlValue(const JSONObject& message, std::string_view key) {
  const std::string* text = stringValue(message, key);
  if (!text || !capture::isAbsoluteURL(*text)) return std::nullopt;
  return *text;
}

// An array of strings; an array holding anything else counts as no tags at all.
std::vector<std::string> tagsValue(const JSONObject& message) {
  const JSONValue* value = message.find("tags");
  const JSONArray* array = value ? value->array() : nullptr;
  std::vector<std::string> tags;
  if (!array) return tags;
  for (const JSONValue& element : *array) {
    if (!element.string()) return {};
    tags.push_back(*element.string());
  }
  return tags;
}

// The message inside the request, without copying it: an image message may be many megabytes.
const JSONObject& messageOf(const ExtensionContext& context) {
  static const JSONObject kEmpty;
  const std::vector<ExtensionItem>& items = context.inputItems();
  if (items.empty() || !items.front().userInfo) return kEmpty;
  const JSONValue* message = items.front().userInfo->find(SFExtensionMessageKey);
  if (!message || !message->object()) return kEmpty;
  return *message->object();
}

// The file-name extension for an image's MIME type: the type table's preferred one, else png.
std::string imageExtension(const std::string* mime) {
  const platform::FileType* type = mime ? platform::typeForMIMEType(*mime) : nullptr;
  if (!type || !type->conforms(platform::kDataType) || type->preferredExtension.empty())
    return "png";
  return std::string(type->preferredExtension);
}

// What an action makes of its message, before anything is written.
struct Capture {
  IncomingRequest request;
  std::optional<capture::Payload> payload;
};

Capture saveImage(const JSONObject& message, const std::optional<std::string>& title) {
  const std::string* data = stringValue(message, "data");
  std::optional<std::string> bytes =
      data ? platform::base64::decode(*data, platform::base64::Mode::strict) : std::nullopt;
  if (!bytes) throw SaveError(SaveError::Kind::badMessage);
  std::string fileName = "image." + imageExtension(stringValue(message, "mime"));

  Capture capture;
  capture.request.kind = IncomingRequest::Kind::file;
  capture.request.fileName = fileName;
  capture.request.sourceURL = urlValue(message, "pageURL");
  capture.request.title = title;
  capture.payload = capture::Payload::bytes(fileName, std::move(*bytes));
  return capture;
}

Capture savePage(const JSONObject& message, const std::optional<std::string>&) {
  std::optional<std::string> url = urlValue(message, "url");
  if (!url) throw SaveError(SaveError::Kind::badMessage);

  // A page capture carries no title, even when the message has one.
  Capture capture;
  capture.request.kind = IncomingRequest::Kind::link;
  capture.request.url = std::move(url);
  const std::string* note = stringValue(message, "note");
  capture.request.note = note ? *note : "";
  capture.request.tags = tagsValue(message);
  capture.request.collectionID = uuidValue(message, "collectionID");
  return capture;
}

struct SaveAction {
  std::string_view name;
  Capture (*run)(const JSONObject& message, const std::optional<std::string>& title);
};

// The save actions, in the order they are matched.
constexpr std::array kSaveActions = {
    SaveAction{"saveImage", saveImage},
    SaveAction{"savePage", savePage},
};

constexpr std::string_view kKindNames[] = {"noContainer", "badMessage"};

// Keeps the first elements of `array` whose text fits in `budget` bytes, commas included.
std::size_t keepFitting(JSONArray& array, std::size_t budget) {
  std::size_t used = 0, kept = 0;
  for (; kept < array.size(); ++kept) {
    std::size_t size = array[kept].encode(wire::JSONEncoding::plain).size() + (kept ? 1 : 0);
    if (used + size > budget) break;
    used += size;
  }
  array.resize(kept);
  return used;
}

}  // namespace

JSONObject fittedDestinationsReply(JSONValue destinations, std::size_t maxBytes) {
  auto reply = [](JSONValue value) {
    return JSONObject{{"ok", true}, {"destinations", std::move(value)}};
  };
  auto size = [](const JSONObject& object) {
    return JSONValue(object).encode(wire::JSONEncoding::plain).size();
  };
  JSONObject whole = reply(destinations);
  if (size(whole) <= maxBytes || !destinations.object()) return whole;
  JSONObject object = *destinations.object();
  const JSONValue* spaces = object.find("spaces");
  const JSONValue* collections = object.find("collections");
  if (!spaces || !spaces->array() || !collections || !collections->array()) return whole;
  JSONArray spaceList = *spaces->array();
  JSONArray collectionList = *collections->array();
  // The reply's frame with both lists empty; what is left is shared out in order: every
  // space first (a library has a few), then the collections, first ones first.
  object.set("spaces", JSONArray());
  object.set("collections", JSONArray());
  std::size_t frame = size(reply(object));
  std::size_t budget = maxBytes > frame ? maxBytes - frame : 0;
  budget -= keepFitting(spaceList, budget);
  keepFitting(collectionList, budget);
  object.set("spaces", std::move(spaceList));
  object.set("collections", std::move(collectionList));
  return reply(std::move(object));
}

SafariWebExtensionHandler::SaveError::SaveError(Kind kind)
    : std::runtime_error(std::string(kKindNames[static_cast<int>(kind)])), kind_(kind) {}

void SafariWebExtensionHandler::beginRequest(ExtensionContext& context) {
  const JSONObject& message = messageOf(context);
  JSONObject reply;
  const std::string* action = stringValue(message, "action");
  if (action && *action == "destinations") {
    reply = destinationsReply();
  } else {
    try {
      save(message);
      capture::postIncoming(services_.notifications);
      reply = {{"ok", true}};
    } catch (const std::exception& error) {
      reply = {{"ok", false}, {"error", std::string(error.what())}};
    }
  }
  JSONObject userInfo{{std::string(SFExtensionMessageKey), std::move(reply)}};
  std::vector<ExtensionItem> items;
  items.push_back({std::move(userInfo)});
  context.completeRequest(std::move(items));
}

JSONObject SafariWebExtensionHandler::destinationsReply() {
  return fittedDestinationsReply(capture::loadDestinations(services_.env).toJSON(), kMaxReplySize);
}

void SafariWebExtensionHandler::save(const JSONObject& message) {
  // The container comes first: without one every save is noContainer, well-formed or not.
  std::optional<std::filesystem::path> inbox = capture::inboxURL(services_.env);
  if (!inbox) throw SaveError(SaveError::Kind::noContainer);
  std::filesystem::path folder = capture::newCaptureFolderURL(*inbox, services_.uuids);
  capture::CaptureDestinations destinations = capture::loadDestinations(services_.env);
  std::optional<std::string> title;
  if (const std::string* text = stringValue(message, "title")) title = *text;

  const std::string* action = stringValue(message, "action");
  if (!action) throw SaveError(SaveError::Kind::badMessage);
  const SaveAction* chosen = nullptr;
  for (const SaveAction& candidate : kSaveActions) {
    if (candidate.name == *action) {
      chosen = &candidate;
      break;
    }
  }
  if (!chosen) throw SaveError(SaveError::Kind::badMessage);

  Capture capture = chosen->run(message, title);
  IncomingRequest& request = capture.request;
  request.spaceID = uuidValue(message, "spaceID");
  if (!request.spaceID) request.spaceID = destinations.currentSpaceID;
  request.createdAt = platform::secondsSinceReferenceDate(services_.clock.now());
  // The host sets aside a request.json over its limit: such a save is refused here, before
  // the folder is made, rather than answered with an ok the host would not keep.
  capture::encodeRequest(request);
  capture::createCaptureFolder(folder);
  if (capture.payload) capture::writePayload(folder, *capture.payload);
  capture::writeRequest(folder, request);
}

}  // namespace nolt::safari
