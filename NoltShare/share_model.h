// NoltShare/share_model.h - state and logic behind the share form: what is shared, where it
// goes, its tags and note; saving turns every provider into one capture in the inbox.
#pragma once

#include <QtQml/qqmlregistration.h>

#include <QImage>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "NoltShare/item_provider.h"
#include "NoltShare/task.h"
#include "capture/capture_destinations.h"
#include "platform/environment.h"
#include "platform/uuid.h"
#include "platform/wall_clock.h"

namespace nolt::share {

struct ShareServices {
  platform::Environment& env;
  platform::UUIDSource& uuids;
  platform::WallClock& clock;
};

// What copying a shared file came to: its name in the capture folder, or why the host would
// refuse it (the person's text); neither when the copy failed for a reason nobody is told.
struct CopiedFile {
  std::optional<std::string> name;
  QString refusal;
};

class ShareModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the share controller")
  // Identifiers in upper-case form; empty when none is chosen.
  Q_PROPERTY(QString spaceID READ spaceID WRITE setSpaceID NOTIFY spaceIDChanged)
  Q_PROPERTY(
      QString collectionID READ collectionID WRITE setCollectionID NOTIFY collectionIDChanged)
  Q_PROPERTY(QStringList tags READ tags WRITE setTags NOTIFY tagsChanged)
  Q_PROPERTY(QString tagDraft READ tagDraft WRITE setTagDraft NOTIFY tagDraftChanged)
  Q_PROPERTY(QString note READ note WRITE setNote NOTIFY noteChanged)
  Q_PROPERTY(QString summary READ summary NOTIFY summaryChanged)
  // The first address among the providers; empty until one is found.
  Q_PROPERTY(QString link READ link NOTIFY linkChanged)
  // The first shared image; a null image until it has loaded.
  Q_PROPERTY(QImage preview READ preview NOTIFY previewChanged)
  Q_PROPERTY(bool hasPreview READ hasPreview NOTIFY previewChanged)
  Q_PROPERTY(bool hasProviders READ hasProviders CONSTANT)
  Q_PROPERTY(QString destinationLabel READ destinationLabel NOTIFY destinationLabelChanged)
  Q_PROPERTY(bool listsSpaces READ listsSpaces CONSTANT)
  // One map per listed space, in order: title, spaceID and collections (maps of title and
  // collectionID, empty for a space without any).
  Q_PROPERTY(QVariantList destinationMenu READ destinationMenu CONSTANT)

 public:
  using Providers = std::vector<std::shared_ptr<ItemProvider>>;

  // Reads the destinations file once, here, and starts loading the preview.
  ShareModel(Providers providers, ShareServices services, QObject* parent = nullptr);
  ~ShareModel() override;

  const Providers& providers() const { return providers_; }
  const capture::CaptureDestinations& destinations() const { return destinations_; }

  QString spaceID() const;
  void setSpaceID(const QString& id);
  QString collectionID() const;
  void setCollectionID(const QString& id);
  QStringList tags() const { return tags_; }
  void setTags(const QStringList& tags);
  QString tagDraft() const { return tagDraft_; }
  void setTagDraft(const QString& draft);
  QString note() const { return note_; }
  void setNote(const QString& note);
  QString summary() const { return summary_; }
  QString link() const { return link_; }
  QImage preview() const { return preview_; }
  bool hasPreview() const { return !preview_.isNull(); }
  bool hasProviders() const { return !providers_.empty(); }
  QString destinationLabel() const;
  bool listsSpaces() const { return !destinations_.spaces.empty(); }
  QVariantList destinationMenu() const;

  // Splits the draft at commas and spaces into lower-case tags without surrounding '#', adds
  // the new ones, and empties the draft.
  Q_INVOKABLE void commitTags();
  Q_INVOKABLE void removeTag(const QString& tag);  // every entry equal to it
  Q_INVOKABLE void removeLastTag();
  // A space and one of its collections, or an empty collection for the space's inbox.
  Q_INVOKABLE void choose(const QString& spaceID, const QString& collectionID);

  // One capture folder per usable provider, one provider after another. Never fails: what
  // cannot be loaded or written is left out. Writes nothing when there is no container.
  // A capture the host would set aside (a file over 200 MB or not a regular file, a note over
  // the request's limit) is refused before anything of it is written: no folder, no falling
  // back to a link, and its text becomes refusal() and the summary the form shows.
  Task save();
  // Why the last save left something out, for the person, one sentence for each thing it
  // refused; empty when it left nothing out.
  QString refusal() const { return refusal_; }
  // How many captures the last save wrote whole.
  int savedCount() const { return savedCount_; }

 signals:
  void spaceIDChanged();
  void collectionIDChanged();
  void tagsChanged();
  void tagDraftChanged();
  void noteChanged();
  void summaryChanged();
  void linkChanged();
  void previewChanged();
  void destinationLabelChanged();

 private:
  Task loadPreview();
  Completion<std::optional<std::string>> loadURL(ItemProvider& provider);
  Completion<std::optional<QString>> loadText(ItemProvider& provider);
  Completion<std::optional<QImage>> loadImage(ItemProvider& provider);
  // Copies the provider's file into the folder inside the completion, while the file exists.
  Completion<CopiedFile> copyFile(ItemProvider& provider, const std::filesystem::path& folder);
  void refuse(const QString& text);
  void setSummary(const QString& summary);
  // Stores a property's new value and signals the change; false when it was already so.
  template <typename Value>
  bool assign(Value& field, Value value, void (ShareModel::*changed)()) {
    if (field == value) return false;
    field = std::move(value);
    emit(this->*changed)();
    return true;
  }

  ShareServices services_;
  capture::CaptureDestinations destinations_;
  std::optional<platform::UUID> spaceID_;
  std::optional<platform::UUID> collectionID_;
  QStringList tags_;
  QString tagDraft_;
  QString note_;
  QString summary_ = QStringLiteral("Loading…");
  QString link_;
  QImage preview_;
  Task previewTask_;
  QString refusal_;
  int savedCount_ = 0;
  // Last, so the providers' threads have ended before anything else of the model goes.
  Providers providers_;
};

// Copies a file into the folder under its own name, never over another file. Only a regular
// file within platform::kMaxFileBytes is copied; anything else is refused with the reason.
CopiedFile copyFileAt(const std::filesystem::path& source, const std::filesystem::path& folder);
// The same for the file at a file URL.
CopiedFile copyFile(const std::string& fileURL, const std::filesystem::path& folder);
// The address's host as written, without "www."; the whole address when it has no host.
QString linkSummary(const std::string& url);

}  // namespace nolt::share
