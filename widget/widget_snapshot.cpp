#include "widget/widget_snapshot.h"

#include <memory>

#include "platform/careful_files.h"
#include "platform/json_reader.h"

namespace nolt::widget {

namespace {

// Decodes the JSON events straight into the records, with no document in between: the
// snapshot can be tens of megabytes and is read again for every timeline entry.
class SnapshotSink {
 public:
  explicit SnapshotSink(WidgetSnapshot& out) : out_(out) {}

  bool complete() const { return level_ == Level::end; }

  bool beginObject() {
    if (skipping()) return ++skip_, true;
    if (level_ == Level::top) {
      level_ = Level::root;
      return true;
    }
    if (level_ == Level::list) {
      level_ = Level::record;
      seen_ = 0;
      withList([](auto& list) { list.emplace_back(); });
      return true;
    }
    return startIgnored();
  }

  bool endObject() {
    if (skipping()) return --skip_, true;
    if (level_ == Level::root) {
      level_ = Level::end;
      return seen_ == (bit(Field::items) | bit(Field::spaces) | bit(Field::collections));
    }
    // Only the root and records are objects that are not skipped.
    level_ = Level::list;
    unsigned required = list_ == List::items ? bit(Field::id) | bit(Field::title) |
                                                   bit(Field::collectionIDs) | bit(Field::weight)
                                             : bit(Field::id) | bit(Field::name);
    bool whole = (seen_ & required) == required;
    seen_ = rootSeen_;
    return whole;
  }

  bool beginArray() {
    if (skipping()) return ++skip_, true;
    if (level_ == Level::root &&
        (field_ == Field::items || field_ == Field::spaces || field_ == Field::collections)) {
      list_ = field_ == Field::items    ? List::items
              : field_ == Field::spaces ? List::spaces
                                        : List::collections;
      // A repeated key replaces the earlier list.
      withList([](auto& list) { list.clear(); });
      rootSeen_ = seen_ | bit(field_);
      level_ = Level::list;
      return true;
    }
    if (level_ == Level::record && field_ == Field::collectionIDs) {
      out_.items.back().collectionIDs.clear();
      level_ = Level::idList;
      return true;
    }
    return startIgnored();
  }

  bool endArray() {
    if (skipping()) return --skip_, true;
    if (level_ == Level::list) {
      level_ = Level::root;
      seen_ = rootSeen_;
      return true;
    }
    level_ = Level::record;  // the end of collectionIDs
    seen_ |= bit(Field::collectionIDs);
    return true;
  }

  bool key(std::string_view k) {
    if (skipping()) return true;
    field_ = level_ == Level::root ? rootField(k) : recordField(k);
    return true;
  }

  bool string(std::string_view s) {
    if (skipping()) return true;
    if (level_ == Level::idList) {
      auto id = UUID::parse(s);
      if (!id) return false;
      out_.items.back().collectionIDs.push_back(*id);
      return true;
    }
    if (level_ != Level::record) return ignoredScalar();
    switch (field_) {
      case Field::id:
      case Field::spaceID: {
        auto id = UUID::parse(s);
        if (!id) return false;
        if (field_ == Field::id) {
          list_ == List::items ? out_.items.back().id = *id : place().id = *id;
        } else {
          list_ == List::items ? out_.items.back().spaceID = id : place().spaceID = id;
        }
        break;
      }
      case Field::title:
        out_.items.back().title.assign(s);
        break;
      case Field::name:
        place().name.assign(s);
        break;
      default:
        return ignoredScalar();
    }
    seen_ |= bit(field_);
    return true;
  }

  bool number(double d) {
    if (skipping()) return true;
    if (level_ == Level::record && field_ == Field::weight) {
      out_.items.back().weight = d;
      seen_ |= bit(field_);
      return true;
    }
    return ignoredScalar();
  }

  bool boolean(bool) { return skipping() || ignoredScalar(); }

  bool null() {
    if (skipping()) return true;
    // An optional field given as null is absent.
    if (level_ == Level::record && field_ == Field::spaceID) {
      list_ == List::items ? out_.items.back().spaceID.reset() : place().spaceID.reset();
      return true;
    }
    return ignoredScalar();
  }

 private:
  enum class Level { top, root, list, record, idList, end };
  enum class List { items, spaces, collections };
  enum class Field {
    ignored,
    items,
    spaces,
    collections,
    id,
    title,
    name,
    spaceID,
    collectionIDs,
    weight
  };

  static unsigned bit(Field f) { return 1u << static_cast<unsigned>(f); }

  static Field rootField(std::string_view k) {
    if (k == "items") return Field::items;
    if (k == "spaces") return Field::spaces;
    if (k == "collections") return Field::collections;
    return Field::ignored;
  }

  Field recordField(std::string_view k) const {
    if (k == "id") return Field::id;
    if (k == "spaceID") return Field::spaceID;
    if (list_ == List::items) {
      if (k == "title") return Field::title;
      if (k == "collectionIDs") return Field::collectionIDs;
      if (k == "weight") return Field::weight;
    } else if (k == "name") {
      return Field::name;
    }
    return Field::ignored;
  }

  WidgetSnapshot::Place& place() {
    return (list_ == List::spaces ? out_.spaces : out_.collections).back();
  }

  bool skipping() const { return skip_ > 0; }
  // Calls `act` with the list whose records are being read.
  template <typename Act>
  void withList(Act act) {
    if (list_ == List::items)
      act(out_.items);
    else
      act(list_ == List::spaces ? out_.spaces : out_.collections);
  }

  // The value of an unknown key may be anything, however deep.
  bool startIgnored() {
    if ((level_ != Level::root && level_ != Level::record) || field_ != Field::ignored)
      return false;
    skip_ = 1;
    return true;
  }

  // A scalar is acceptable only as the value of an unknown key.
  bool ignoredScalar() const {
    return (level_ == Level::root || level_ == Level::record) && field_ == Field::ignored;
  }

  WidgetSnapshot& out_;
  Level level_ = Level::top;
  List list_ = List::items;
  Field field_ = Field::ignored;
  unsigned seen_ = 0;      // fields of the current object given so far
  unsigned rootSeen_ = 0;  // the root's, kept while a record is read
  std::size_t skip_ = 0;   // depth inside an ignored value
};

}  // namespace

std::optional<WidgetSnapshot> WidgetSnapshot::decode(std::string_view text) {
  WidgetSnapshot snapshot;
  SnapshotSink sink(snapshot);
  if (platform::json::read(text, sink) || !sink.complete()) return std::nullopt;
  return snapshot;
}

std::string snapshotPath(const std::string& container) { return container + "/Widget/widget.json"; }

std::string thumbnailPath(const std::string& container, const UUID& id) {
  return container + "/Widget/" + id.uuidString() + ".jpg";
}

WidgetSnapshot loadSnapshot(const std::optional<std::string>& container) {
  // Every failure shows as the empty widget, never as an error: the host may simply not
  // have published a snapshot yet.
  if (!container) return {};
  // Opened without blocking and never through a link, and read only up to its cap: a FIFO,
  // a device or a file of gigabytes there reads as no snapshot.
  std::optional<std::string> text =
      platform::readRegularFile(snapshotPath(*container), platform::kMaxSnapshotBytes);
  if (!text) return {};
  return WidgetSnapshot::decode(*text).value_or(WidgetSnapshot{});
}

}  // namespace nolt::widget
