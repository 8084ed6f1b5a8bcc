#include "NoltShare/share_model.h"

#include <QRegularExpression>
#include <QUrl>
#include <boost/url/parse.hpp>
#include <exception>
#include <system_error>

#include "capture/container.h"
#include "capture/inbox.h"
#include "platform/file_types.h"

namespace nolt::share {

namespace {

std::optional<platform::UUID> parseID(const QString& text) {
  return platform::UUID::parse(text.toStdString());
}

QString idText(const std::optional<platform::UUID>& id) {
  return id ? QString::fromStdString(id->uuidString()) : QString();
}

// The emoji, two spaces and the name as menus show a place; the name alone without an emoji.
QString menuTitle(const capture::CaptureDestinations::Place& place) {
  QString name = QString::fromStdString(place.name);
  if (place.emoji.empty()) return name;
  return QString::fromStdString(place.emoji) + QStringLiteral("  ") + name;
}

bool isFileURL(const std::string& url) {
  return url.size() >= 5 && QString::fromStdString(url.substr(0, 5)).toLower() == "file:";
}

// The types whose providers are saved as a file of their own.
bool isFileType(const ItemProvider& provider) {
  return provider.hasItemConformingToTypeIdentifier(platform::kImageType) ||
         provider.hasItemConformingToTypeIdentifier(platform::kMovieType) ||
         provider.hasItemConformingToTypeIdentifier(platform::kPDFType);
}

}  // namespace

CopiedFile copyFile(const std::string& fileURL, const std::filesystem::path& folder) {
  return copyFileAt(QUrl(QString::fromStdString(fileURL)).toLocalFile().toStdString(), folder);
}

CopiedFile copyFileAt(const std::filesystem::path& source, const std::filesystem::path& folder) {
  std::string name = source.filename().string();
  try {
    capture::writePayload(folder, capture::Payload::copyOf(name, source));
  } catch (const capture::RefusedCapture& refused) {
    return {std::nullopt, QString::fromStdString(refused.what())};
  } catch (const std::system_error&) {
    return {};
  }
  return {name, {}};
}

QString linkSummary(const std::string& url) {
  auto parsed = boost::urls::parse_uri(url);
  if (!parsed || !parsed->has_authority() || parsed->encoded_host().empty())
    return QString::fromStdString(url);
  QString host = QString::fromStdString(std::string(parsed->encoded_host()));
  return host.remove(QStringLiteral("www."));
}

ShareModel::ShareModel(Providers providers, ShareServices services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      destinations_(capture::loadDestinations(services_.env)),
      providers_(std::move(providers)) {
  if (destinations_.currentSpaceID)
    spaceID_ = destinations_.currentSpaceID;
  else if (!destinations_.spaces.empty())
    spaceID_ = destinations_.spaces.front().id;
  previewTask_ = loadPreview();
}

ShareModel::~ShareModel() = default;

QString ShareModel::spaceID() const { return idText(spaceID_); }

void ShareModel::setSpaceID(const QString& id) {
  if (assign(spaceID_, parseID(id), &ShareModel::spaceIDChanged)) emit destinationLabelChanged();
}

QString ShareModel::collectionID() const { return idText(collectionID_); }

void ShareModel::setCollectionID(const QString& id) {
  if (assign(collectionID_, parseID(id), &ShareModel::collectionIDChanged))
    emit destinationLabelChanged();
}

void ShareModel::setTags(const QStringList& tags) { assign(tags_, tags, &ShareModel::tagsChanged); }

void ShareModel::setTagDraft(const QString& draft) {
  assign(tagDraft_, draft, &ShareModel::tagDraftChanged);
}

void ShareModel::setNote(const QString& note) { assign(note_, note, &ShareModel::noteChanged); }

void ShareModel::setSummary(const QString& summary) {
  assign(summary_, summary, &ShareModel::summaryChanged);
}

QString ShareModel::destinationLabel() const {
  const capture::CaptureDestinations::Place* space = nullptr;
  const capture::CaptureDestinations::Place* collection = nullptr;
  for (const auto& place : destinations_.spaces)
    if (spaceID_ && place.id == *spaceID_) {
      space = &place;
      break;
    }
  for (const auto& place : destinations_.collections)
    if (collectionID_ && place.id == *collectionID_) {
      collection = &place;
      break;
    }
  QString spacePart = QStringLiteral("Nolt");
  if (space) {
    spacePart = QString::fromStdString(space->name);
    if (!space->emoji.empty()) spacePart = QString::fromStdString(space->emoji) + ' ' + spacePart;
  }
  QString collectionPart =
      collection ? QString::fromStdString(collection->name) : QStringLiteral("Inbox");
  return spacePart + QStringLiteral(" › ") + collectionPart;
}

QVariantList ShareModel::destinationMenu() const {
  QVariantList menu;
  for (const auto& space : destinations_.spaces) {
    QVariantList collections;
    for (const auto& collection : destinations_.collections)
      if (collection.spaceID == space.id)
        collections.append(
            QVariantMap{{"title", menuTitle(collection)}, {"collectionID", idText(collection.id)}});
    menu.append(QVariantMap{
        {"title", menuTitle(space)}, {"spaceID", idText(space.id)}, {"collections", collections}});
  }
  return menu;
}

void ShareModel::commitTags() {
  QStringList tags = tags_;
  for (const QString& piece :
       tagDraft_.split(QRegularExpression(QStringLiteral("[, ]")), Qt::SkipEmptyParts)) {
    QString tag = piece.toLower();
    qsizetype first = 0, last = tag.size();
    while (first < last && tag[first] == '#') ++first;
    while (last > first && tag[last - 1] == '#') --last;
    tag = tag.mid(first, last - first);
    if (!tag.isEmpty() && !tags.contains(tag)) tags.append(tag);
  }
  setTags(tags);
  setTagDraft(QString());
}

void ShareModel::removeTag(const QString& tag) {
  QStringList tags = tags_;
  tags.removeAll(tag);
  setTags(tags);
}

void ShareModel::removeLastTag() {
  if (tags_.isEmpty()) return;
  QStringList tags = tags_;
  tags.removeLast();
  setTags(tags);
}

void ShareModel::choose(const QString& spaceID, const QString& collectionID) {
  setSpaceID(spaceID);
  setCollectionID(collectionID);
}

Completion<std::optional<std::string>> ShareModel::loadURL(ItemProvider& provider) {
  using Result = std::optional<std::string>;
  bool conforms = provider.hasItemConformingToTypeIdentifier(platform::kURLType);
  return {this, [&provider, conforms](Completion<Result>::Resume resume) {
            if (!conforms) return resume(std::nullopt);
            provider.loadObject(ObjectClass::url, [resume](ProviderObject object) {
              auto* url = std::get_if<URLObject>(&object);
              resume(url ? Result(url->absoluteString) : std::nullopt);
            });
          }};
}

Completion<std::optional<QString>> ShareModel::loadText(ItemProvider& provider) {
  using Result = std::optional<QString>;
  bool conforms = provider.hasItemConformingToTypeIdentifier(platform::kPlainTextType);
  return {this, [&provider, conforms](Completion<Result>::Resume resume) {
            if (!conforms) return resume(std::nullopt);
            provider.loadObject(ObjectClass::string, [resume](ProviderObject object) {
              auto* text = std::get_if<QString>(&object);
              resume(text ? Result(*text) : std::nullopt);
            });
          }};
}

Completion<std::optional<QImage>> ShareModel::loadImage(ItemProvider& provider) {
  using Result = std::optional<QImage>;
  return {this, [&provider](Completion<Result>::Resume resume) {
            provider.loadObject(ObjectClass::image, [resume](ProviderObject object) {
              auto* image = std::get_if<QImage>(&object);
              resume(image && !image->isNull() ? Result(*image) : std::nullopt);
            });
          }};
}

Completion<CopiedFile> ShareModel::copyFile(ItemProvider& provider,
                                            const std::filesystem::path& folder) {
  using Result = CopiedFile;
  std::string_view type = platform::kDataType;
  for (std::string_view fileType : {platform::kImageType, platform::kMovieType, platform::kPDFType})
    if (provider.hasItemConformingToTypeIdentifier(fileType)) {
      type = fileType;
      break;
    }
  return {this, [&provider, type, folder](Completion<Result>::Resume resume) {
            provider.loadFileRepresentation(
                type, [resume, folder](const std::optional<std::filesystem::path>& file) {
                  if (!file) return resume(CopiedFile{});
                  resume(copyFileAt(*file, folder));
                });
          }};
}

Task ShareModel::loadPreview() {
  // Whoever created the model sees the summary change, as a later event.
  co_await nextTurn(this);
  std::vector<ItemProvider*> images;
  for (const auto& provider : providers_)
    if (provider->hasItemConformingToTypeIdentifier(platform::kImageType))
      images.push_back(provider.get());
  if (!images.empty()) {
    if (auto image = co_await loadImage(*images.front())) {
      preview_ = *image;
      emit previewChanged();
      setSummary(images.size() == 1 ? QStringLiteral("1 image")
                                    : QString::number(images.size()) + QStringLiteral(" images"));
      co_return;
    }
  }
  for (const auto& provider : providers_) {
    if (auto url = co_await loadURL(*provider)) {
      setSummary(linkSummary(*url));
      link_ = QString::fromStdString(*url);
      emit linkChanged();
      co_return;
    }
  }
  if (providers_.empty())
    setSummary(QStringLiteral("Nothing to save"));
  else if (providers_.size() == 1)
    setSummary(QStringLiteral("1 item"));
  else
    setSummary(QString::number(providers_.size()) + QStringLiteral(" items"));
}

void ShareModel::refuse(const QString& text) {
  // Every refusal of one save is told, one after another.
  refusal_ = refusal_.isEmpty() ? text : refusal_ + QLatin1Char(' ') + text;
  setSummary(refusal_);
}

Task ShareModel::save() {
  refusal_.clear();
  savedCount_ = 0;
  auto inbox = capture::inboxURL(services_.env);
  if (!inbox) co_return;
  commitTags();
  for (const auto& provider : providers_) {
    capture::IncomingRequest request;
    request.kind = capture::IncomingRequest::Kind::text;
    request.spaceID = spaceID_;
    request.collectionID = collectionID_;
    for (const QString& tag : tags_) request.tags.push_back(tag.toStdString());
    request.note = note_.toStdString();
    request.createdAt = platform::secondsSinceReferenceDate(services_.clock.now());
    // A note too long for any capture is refused before anything is written.
    try {
      capture::encodeRequest(request);
    } catch (const capture::RefusedCapture& refused) {
      refuse(QString::fromStdString(refused.what()));
      co_return;
    } catch (const std::exception&) {
      // Left to the write below, which fails in its turn.
    }

    std::filesystem::path folder = capture::newCaptureFolderURL(*inbox, services_.uuids);
    try {
      capture::createCaptureFolder(folder);
    } catch (const std::system_error&) {
      // The copy and the write below fail in their turn and leave nothing behind.
    }
    auto removeFolder = [&folder] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    };

    bool usable = false;
    QString refused;
    if (isFileType(*provider)) {
      CopiedFile copied = co_await copyFile(*provider, folder);
      if (copied.name) {
        request.kind = capture::IncomingRequest::Kind::file;
        request.fileName = copied.name;
        usable = true;
      }
      refused = copied.refusal;
    }
    if (!usable && refused.isEmpty()) {
      if (auto url = co_await loadURL(*provider)) {
        CopiedFile copied;
        if (isFileURL(*url)) copied = share::copyFile(*url, folder);
        refused = copied.refusal;
        if (copied.name) {
          request.kind = capture::IncomingRequest::Kind::file;
          request.fileName = copied.name;
        } else {
          request.kind = capture::IncomingRequest::Kind::link;
          request.url = url;
        }
        usable = true;
      } else if (auto text = co_await loadText(*provider); text && !text->isEmpty()) {
        request.kind = capture::IncomingRequest::Kind::text;
        request.text = text->toStdString();
        usable = true;
      }
    }
    // A refused file is not saved as a link to itself either: the person is told instead.
    if (!refused.isEmpty()) {
      refuse(refused);
      removeFolder();
      continue;
    }
    if (!usable) {
      removeFolder();
      continue;
    }
    try {
      capture::writeRequest(folder, request);
      ++savedCount_;
    } catch (const capture::RefusedCapture& error) {
      refuse(QString::fromStdString(error.what()));
      removeFolder();
    } catch (const std::exception&) {
      // The folder stays without request.json, which the host never reads as a capture.
    }
  }
}

}  // namespace nolt::share
