#include "safari/safari_handler.h"

#include <array>
#include <filesystem>

#include "capture/capture_destinations.h"
#include "capture/container.h"
#include "capture/inbox.h"
#include "platform/base64.h"
#include "platform/file_types.h"

namespace nolt::safari {

namespace {

using capture::IncomingRequest;
using link::JSONArray;
using link::JSONObject;
using link::JSONValue;
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

struct SaveStep {
  const std::filesystem::path& folder;
  const JSONObject& message;
  const std::optional<std::string>& title;
};

IncomingRequest saveImage(const SaveStep& step) {
  const std::string* data = stringValue(step.message, "data");
  std::optional<std::string> bytes =
      data ? platform::base64::decode(*data, platform::base64::Mode::strict) : std::nullopt;
  if (!bytes) throw SaveError(SaveError::Kind::badMessage);
  std::string fileName = "image." + imageExtension(stringValue(step.message, "mime"));
  capture::createCaptureFolder(step.folder);
  capture::writePayload(step.folder, capture::Payload::bytes(fileName, std::move(*bytes)));

  IncomingRequest request;
  request.kind = IncomingRequest::Kind::file;
  request.fileName = fileName;
  request.sourceURL = urlValue(step.message, "pageURL");
  request.title = step.title;
  return request;
}

IncomingRequest savePage(const SaveStep& step) {
  std::optional<std::string> url = urlValue(step.message, "url");
  if (!url) throw SaveError(SaveError::Kind::badMessage);
  capture::createCaptureFolder(step.folder);

  // A page capture carries no title, even when the message has one.
  IncomingRequest request;
  request.kind = IncomingRequest::Kind::link;
  request.url = std::move(url);
  const std::string* note = stringValue(step.message, "note");
  request.note = note ? *note : "";
  request.tags = tagsValue(step.message);
  request.collectionID = uuidValue(step.message, "collectionID");
  return request;
}

struct SaveAction {
  std::string_view name;
  IncomingRequest (*run)(const SaveStep&);
};

// The save actions, in the order they are matched.
constexpr std::array kSaveActions = {
    SaveAction{"saveImage", saveImage},
    SaveAction{"savePage", savePage},
};

constexpr std::string_view kKindNames[] = {"noContainer", "badMessage"};

}  // namespace

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
  // The reply carries the file's own layout, so it goes through the same encoding.
  JSONValue destinations = JSONObject();
  try {
    destinations = JSONValue::decode(capture::loadDestinations(services_.env).encoded());
  } catch (const link::JSONDecodingError&) {
    // Our own text always reads back; were it not to, the extension still gets its answer.
  }
  return {{"ok", true}, {"destinations", std::move(destinations)}};
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

  IncomingRequest request = chosen->run({folder, message, title});
  request.spaceID = uuidValue(message, "spaceID");
  if (!request.spaceID) request.spaceID = destinations.currentSpaceID;
  request.createdAt = platform::secondsSinceReferenceDate(services_.clock.now());
  capture::writeRequest(folder, request);
}

}  // namespace nolt::safari
