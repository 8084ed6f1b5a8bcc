#include "host/demo_seed.h"

#include <array>

namespace nolt::host {

namespace {

constexpr double kDay = 86400;

struct DemoCollection {
  const char* id;
  const char* name;
  int space;  // 0 Personal, 1 Work
};

constexpr std::array kCollections = {
    DemoCollection{"D1A4B0C2-0001-4E6A-9C11-5A1F00000001", "Living room", 0},
    DemoCollection{"D1A4B0C2-0002-4E6A-9C11-5A1F00000002", "Typography", 0},
    DemoCollection{"D1A4B0C2-0003-4E6A-9C11-5A1F00000003", "Checkout redesign", 1},
    DemoCollection{"D1A4B0C2-0004-4E6A-9C11-5A1F00000004", "Onboarding", 1},
};

struct DemoItem {
  ItemKind kind;
  const char* title;
  const char* what;  // an image's artwork number, a link's address, a file's name
  int collection;    // index into kCollections, -1 for none
  std::array<const char*, 3> tags;
  const char* note;
  double daysAgo;
  bool favorite;
};

// clang-format off
const std::array<DemoItem, 12> kItems = {{
    {ItemKind::image, "Sunset over the hills", "0", 0,
     {"warm", "landscape", nullptr},
     "The orange-to-gold sky is the palette for the sofa wall.", 1, true},
    {ItemKind::image, "Blue waves", "1", 0,
     {"calm", "blue", nullptr}, "Calm, layered blues for the bedroom.", 3, false},
    {ItemKind::image, "Red, navy and gold shapes", "2", 2,
     {"bold", "geometric", nullptr},
     "Strong primary shapes: the buy button could borrow the red.", 2, true},
    {ItemKind::image, "Green leaves", "3", 0,
     {"plants", "green", nullptr}, "", 6, false},
    {ItemKind::image, "Neon glow", "4", 3,
     {"gradient", "vivid", nullptr}, "Welcome screen background idea.", 4, false},
    {ItemKind::image, "Quiet tiles", "5", 1,
     {"grid", "neutral", nullptr}, "A calm grid, like a well-set page.", 9, false},
    {ItemKind::image, "Sunset study", "6", 2,
     {"warm", "bold", nullptr}, "", 12, false},
    {ItemKind::link, "Pricing page with three plans", "https://example.com/pricing", 2,
     {"pricing", "checkout", nullptr},
     "Three plans side by side, the middle one lifted.", 5, false},
    {ItemKind::link, "Type scale calculator", "https://typescale.example.org/", 1,
     {"typography", "tools", nullptr}, "", 20, false},
    {ItemKind::link, "Onboarding checklist patterns", "https://www.example.net/onboarding", 3,
     {"onboarding", "patterns", nullptr}, "Progress shown as a checklist, not steps.", 8, false},
    {ItemKind::link, "Mid-century lounge chair", "https://shop.example.com/chairs/lounge", 0,
     {"furniture", "warm", nullptr}, "Walnut and rust wool.", 15, true},
    {ItemKind::pdf, "Brand guidelines", "Brand guidelines.pdf", 3,
     {"brand", "guidelines", nullptr}, "", 30, false},
}};
// clang-format on

struct DemoNote {
  const char* title;
  const char* text;
  bool rule;
  int space;
  int collection;
  const char* tag;
};

constexpr std::array kNotes = {
    DemoNote{"Spacing", "Use spacing in steps of 8 px; never eyeball margins.", true, 1, -1,
             "layout"},
    DemoNote{"Buttons", "Buttons say what they do: \"Save changes\", not \"OK\".", true, 1, 2,
             "copy"},
    DemoNote{"Warm neutrals", "Prefer warm neutrals over pure grey.", true, 0, -1, "colour"},
    DemoNote{"Sofa", "Measure the wall before ordering the sofa: 3.2 m.", false, 0, 0, "home"},
    DemoNote{"Onboarding idea", "Let people skip the tour and find it again under Help.", false, 1,
             3, "onboarding"},
};

// A one-page PDF: enough for the opener to show and for the host to draw a poster for.
constexpr std::string_view kDemoPDF =
    "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
    "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
    "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]>>endobj\n"
    "trailer<</Root 1 0 R>>\n%%EOF\n";

}  // namespace

bool seedDemoLibrary(HostServices s, const DemoArtwork& artwork) {
  if (s.library.search({}, 1).total > 0) return false;
  std::array<std::string, 2> spaces = {s.library.currentSpaceID().value_or(""),
                                       "D1A4B0C2-0000-4E6A-9C11-5A1F0000000B"};
  s.library.addSpace({spaces[1], "Work", "💼", "briefcase", "orange"});
  for (const DemoCollection& c : kCollections)
    s.library.addCollection({c.id, c.name, spaces[c.space]});

  double now = platform::secondsSince1970(s.clock.now());
  for (const DemoItem& d : kItems) {
    Item item;
    item.id = s.uuids.next().uuidString();
    item.kind = d.kind;
    item.title = d.title;
    item.createdAt = now - d.daysAgo * kDay;
    item.favorite = d.favorite;
    int space = d.collection >= 0 ? kCollections[d.collection].space : 0;
    item.spaceID = spaces[space];
    if (d.collection >= 0) item.collectionIDs.push_back(kCollections[d.collection].id);
    for (const char* tag : d.tags)
      if (tag) item.tags.push_back(tag);
    if (d.kind == ItemKind::image) {
      std::string art = artwork(std::stoi(d.what), 1200, 900);
      item.fileName = item.title + ".png";
      item.mimeType = "image/png";
      if (auto facts = s.images.inspect(art)) {
        item.width = facts->width;
        item.height = facts->height;
        item.colors = facts->palette;
      }
      s.files.save(item.id, *item.fileName, art);
    } else if (d.kind == ItemKind::pdf) {
      item.fileName = d.what;
      item.mimeType = "application/pdf";
      s.files.save(item.id, *item.fileName, kDemoPDF);
    } else {
      item.url = d.what;
    }
    std::optional<Note> note;
    if (*d.note) {
      note = Note{};
      note->id = s.uuids.next().uuidString();
      note->text = d.note;
      note->itemID = item.id;
      note->createdAt = item.createdAt;
    }
    s.library.addItem(item, note);
  }
  for (const DemoNote& d : kNotes) {
    Note note;
    note.id = s.uuids.next().uuidString();
    note.title = d.title;
    note.text = d.text;
    note.rule = d.rule;
    note.spaceID = spaces[d.space];
    if (d.collection >= 0) note.collectionID = kCollections[d.collection].id;
    note.tags = {d.tag};
    note.createdAt = now - 2 * kDay;
    s.library.addNote(note);
  }
  return true;
}

}  // namespace nolt::host
