#include "NoltShare/share_model.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "NoltShare/extension_context.h"
#include "NoltShare/testing/fake_item_provider.h"
#include "capture/incoming_request.h"
#include "platform/careful_files.h"
#include "platform/file_types.h"
#include "platform/testing/fake_wall_clock.h"
#include "platform/testing/sequential_uuid_source.h"
#include "platform/testing/test_environment.h"
#include "tests/support/hostile_files.h"
#include "tests/support/test_host_process.h"

namespace nolt::share {
namespace {

namespace fs = std::filesystem;
using capture::IncomingRequest;
using platform::testing::SequentialUUIDSource;
using platform::testing::TestEnvironment;
using testing::FakeItemProvider;

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "nolt_share_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

// Runs the main thread's events until `done` or five seconds have passed.
template <typename Done>
bool runUntil(Done done) {
  application();
  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  tick.start(50);  // wakes the wait below so the deadline is seen
  while (!done() && clock.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

const char kSpace[] = "5BACE000-0000-4000-8000-000000000001";
const char kOtherSpace[] = "5BACE000-0000-4000-8000-000000000002";
const char kCollection[] = "C0000000-0000-4000-8000-000000000001";

std::shared_ptr<FakeItemProvider> provider(std::initializer_list<const char*> types) {
  auto p = std::make_shared<FakeItemProvider>();
  for (const char* type : types) p->types.insert(type);
  return p;
}

// A provider of `types` whose URL object is `address`.
std::shared_ptr<FakeItemProvider> urlProvider(std::string address,
                                              std::initializer_list<const char*> types = {
                                                  "public.url"}) {
  auto p = provider(types);
  p->url = URLObject{std::move(address)};
  return p;
}

// A provider of plain text whose string object is `text`.
std::shared_ptr<FakeItemProvider> textProvider(QString text) {
  auto p = provider({"public.plain-text"});
  p->string = std::move(text);
  return p;
}

QImage picture(QColor colour) {
  QImage image(4, 4, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

class ShareModelTest : public ::testing::Test {
 protected:
  ShareModelTest() {
    application();
    env_.variables["XDG_DATA_HOME"] = temp_.path();
  }

  fs::path container() const { return fs::path(temp_.path()) / "group.app.nolt"; }
  fs::path inbox() const { return container() / "Incoming"; }

  void writeDestinations(const std::string& json) {
    fs::create_directories(container());
    std::ofstream(container() / "destinations.json") << json;
  }

  // A model whose preview has loaded.
  std::unique_ptr<ShareModel> model(ShareModel::Providers providers) {
    for (auto& p : providers)
      if (auto* fake = dynamic_cast<FakeItemProvider*>(p.get())) fake->scratch = temp_.path();
    auto m =
        std::make_unique<ShareModel>(std::move(providers), ShareServices{env_, uuids_, clock_});
    EXPECT_TRUE(runUntil([&] { return m->summary() != QStringLiteral("Loading…"); }));
    return m;
  }

  void save(ShareModel& m) {
    Task task = m.save();
    ASSERT_TRUE(runUntil([&] { return task.done(); }));
  }

  // Capture folders in the order they were made, with their requests.
  std::vector<std::pair<fs::path, IncomingRequest>> captures() {
    std::vector<std::pair<fs::path, IncomingRequest>> out;
    std::vector<fs::path> folders;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(inbox(), error)) folders.push_back(entry);
    std::sort(folders.begin(), folders.end());
    for (const auto& folder : folders) {
      auto text = test_support::readFile((folder / "request.json").string());
      auto request = text ? IncomingRequest::decode(*text) : std::nullopt;
      EXPECT_TRUE(request) << folder;
      if (request) out.emplace_back(folder, *request);
    }
    return out;
  }

  test_support::TempDir temp_;
  TestEnvironment env_;
  SequentialUUIDSource uuids_;
  // 1.5 s after the reference date, so createdAt reads 1.5.
  platform::testing::FakeWallClock clock_{std::chrono::sys_days{std::chrono::year{2001} / 1 / 1} +
                                          std::chrono::milliseconds{1500}};
};

TEST_F(ShareModelTest, SummaryDescribesWhatIsShared) {
  struct Case {
    const char* name;
    std::function<ShareModel::Providers()> providers;
    QString summary, link;
    bool preview;
  };
  auto image = [] {
    auto p = provider({"public.image", "public.data"});
    p->image = picture(Qt::red);
    return p;
  };
  auto url = [](const char* address) { return urlProvider(address); };
  auto text = [] { return textProvider(QStringLiteral("hello")); };
  std::vector<Case> cases = {
      {"nothing", [] { return ShareModel::Providers{}; }, "Nothing to save", "", false},
      {"one image", [&] { return ShareModel::Providers{image()}; }, "1 image", "", true},
      {"three images",
       [&] {
         return ShareModel::Providers{image(), text(), image(), image()};
       },
       "3 images", "", true},
      {"web page", [&] { return ShareModel::Providers{url("https://www.example.com/a?b")}; },
       "example.com", "https://www.example.com/a?b", false},
      {"every www. goes", [&] { return ShareModel::Providers{url("http://www.www.a.example/")}; },
       "a.example", "http://www.www.a.example/", false},
      {"no host", [&] { return ShareModel::Providers{url("mailto:someone@a.example")}; },
       "mailto:someone@a.example", "mailto:someone@a.example", false},
      {"address after text",
       [&] {
         return ShareModel::Providers{text(), url("https://b.example")};
       },
       "b.example", "https://b.example", false},
      {"image that does not load, then its address",
       [&] {
         return ShareModel::Providers{
             urlProvider("https://www.c.example/p.png", {"public.image", "public.url"})};
       },
       "c.example", "https://www.c.example/p.png", false},
      {"one text", [&] { return ShareModel::Providers{text()}; }, "1 item", "", false},
      {"two texts",
       [&] {
         return ShareModel::Providers{text(), text()};
       },
       "2 items", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = model(c.providers());
    EXPECT_EQ(m->summary(), c.summary);
    EXPECT_EQ(m->link(), c.link);
    EXPECT_EQ(!m->preview().isNull(), c.preview);
  }
}

TEST_F(ShareModelTest, PreviewIsTheFirstImageAndArrivesAsChanges) {
  auto first = provider({"public.image"}), second = provider({"public.image"});
  first->image = picture(Qt::green);
  second->image = picture(Qt::blue);
  ShareModel m({first, second}, ShareServices{env_, uuids_, clock_});
  EXPECT_EQ(m.summary(), QStringLiteral("Loading…"));
  QSignalSpy summary(&m, &ShareModel::summaryChanged), preview(&m, &ShareModel::previewChanged);
  ASSERT_TRUE(summary.wait(5000));
  EXPECT_EQ(m.summary(), QStringLiteral("2 images"));
  EXPECT_EQ(preview.count(), 1);
  EXPECT_EQ(m.preview().pixelColor(0, 0), QColor(Qt::green));
  EXPECT_FALSE(first->completedOnMainThread);
}

TEST_F(ShareModelTest, CommitTagsFoldsTheDraftIntoTags) {
  struct Case {
    QStringList before;
    QString draft;
    QStringList after;
  };
  std::vector<Case> cases = {
      {{}, "Design, #UI  ux,design", {"design", "ui", "ux"}},
      {{}, "##", {}},
      {{"ui"}, "UI ,, New", {"ui", "new"}},
      {{}, "#c#d##", {"c#d"}},
      {{}, "", {}},
  };
  auto m = model({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.draft.toStdString());
    m->setTags(c.before);
    m->setTagDraft(c.draft);
    m->commitTags();
    EXPECT_EQ(m->tags(), c.after);
    EXPECT_EQ(m->tagDraft(), QString());
  }
  m->setTags({"a", "b", "a", "c"});
  m->removeTag("a");
  EXPECT_EQ(m->tags(), QStringList({"b", "c"}));
  m->removeLastTag();
  EXPECT_EQ(m->tags(), QStringList({"b"}));
}

TEST_F(ShareModelTest, DestinationLabelNamesTheChosenPlace) {
  std::string places = std::string("\"spaces\":[{\"id\":\"") + kSpace +
                       "\",\"name\":\"Design\",\"emoji\":\"🎨\",\"symbol\":\"\",\"tintName\":\"\"},"
                       "{\"id\":\"" +
                       kOtherSpace +
                       "\",\"name\":\"Home\",\"emoji\":\"\",\"symbol\":\"\",\"tintName\":\"\"}],"
                       "\"collections\":[{\"id\":\"" +
                       kCollection +
                       "\",\"name\":\"Refs\",\"emoji\":\"📌\",\"symbol\":\"\",\"tintName\":\"\","
                       "\"spaceID\":\"" +
                       kSpace + "\"}]";
  struct Case {
    const char* name;
    std::optional<std::string> destinations;
    QString space, collection;  // chosen after creation when not empty
    QString initialSpace, label;
  };
  std::vector<Case> cases = {
      {"no file", std::nullopt, "", "", "", "Nolt › Inbox"},
      {"first space", "{" + places + "}", "", "", kSpace, "🎨 Design › Inbox"},
      {"current space", "{" + places + ",\"currentSpaceID\":\"" + kOtherSpace + "\"}", "", "",
       kOtherSpace, "Home › Inbox"},
      {"current space not listed",
       "{" + places + ",\"currentSpaceID\":\"00000000-0000-4000-8000-0000000000FF\"}", "", "",
       "00000000-0000-4000-8000-0000000000FF", "Nolt › Inbox"},
      {"collection", "{" + places + "}", kSpace, kCollection, kSpace, "🎨 Design › Refs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ignored;
    fs::remove(container() / "destinations.json", ignored);
    if (c.destinations) writeDestinations(*c.destinations);
    auto m = model({});
    EXPECT_EQ(m->spaceID(), c.initialSpace);
    EXPECT_EQ(m->collectionID(), QString());
    QSignalSpy label(m.get(), &ShareModel::destinationLabelChanged);
    if (!c.space.isEmpty()) m->choose(c.space, c.collection);
    EXPECT_EQ(m->destinationLabel(), c.label);
    EXPECT_EQ(label.isEmpty(), c.space.isEmpty());
  }
}

TEST_F(ShareModelTest, MenuListsSpacesWithTheirOwnCollections) {
  writeDestinations(
      std::string("{\"spaces\":[{\"id\":\"") + kSpace +
      "\",\"name\":\"Design\",\"emoji\":\"🎨\",\"symbol\":\"\",\"tintName\":\"\"},"
      "{\"id\":\"" +
      kOtherSpace +
      "\",\"name\":\"Home\",\"emoji\":\"\",\"symbol\":\"\",\"tintName\":\"\"}],"
      "\"collections\":["
      "{\"id\":\"" +
      kCollection +
      "\",\"name\":\"Refs\",\"emoji\":\"📌\",\"symbol\":\"\","
      "\"tintName\":\"\",\"spaceID\":\"" +
      kSpace +
      "\"},"
      "{\"id\":\"C0000000-0000-4000-8000-000000000002\",\"name\":\"Loose\",\"emoji\":\"\","
      "\"symbol\":\"\",\"tintName\":\"\"},"
      "{\"id\":\"C0000000-0000-4000-8000-000000000003\",\"name\":\"Elsewhere\",\"emoji\":\"\","
      "\"symbol\":\"\",\"tintName\":\"\",\"spaceID\":\"00000000-0000-4000-8000-0000000000FF\"},"
      "{\"id\":\"C0000000-0000-4000-8000-000000000004\",\"name\":\"Moodboard\",\"emoji\":\"\","
      "\"symbol\":\"\",\"tintName\":\"\",\"spaceID\":\"" +
      kSpace + "\"}]}");
  auto m = model({});
  EXPECT_TRUE(m->listsSpaces());
  QVariantList menu = m->destinationMenu();
  ASSERT_EQ(menu.size(), 2);
  QVariantMap design = menu[0].toMap(), home = menu[1].toMap();
  EXPECT_EQ(design["title"].toString(), QStringLiteral("🎨  Design"));
  EXPECT_EQ(design["spaceID"].toString(), kSpace);
  QVariantList collections = design["collections"].toList();
  ASSERT_EQ(collections.size(), 2);
  EXPECT_EQ(collections[0].toMap()["title"].toString(), QStringLiteral("📌  Refs"));
  EXPECT_EQ(collections[0].toMap()["collectionID"].toString(), kCollection);
  EXPECT_EQ(collections[1].toMap()["title"].toString(), QStringLiteral("Moodboard"));
  EXPECT_EQ(home["title"].toString(), QStringLiteral("Home"));
  EXPECT_TRUE(home["collections"].toList().isEmpty());

  fs::remove(container() / "destinations.json");
  auto empty = model({});
  EXPECT_FALSE(empty->listsSpaces());
  EXPECT_TRUE(empty->destinationMenu().isEmpty());
}

TEST_F(ShareModelTest, SaveWritesOneCapturePerUsableProvider) {
  fs::path existing = fs::path(temp_.path()) / "shared" / "notes.txt";
  fs::create_directories(existing.parent_path());
  std::ofstream(existing) << "kept";
  struct Case {
    const char* name;
    std::shared_ptr<FakeItemProvider> provider;
    std::optional<IncomingRequest::Kind> kind;  // none: no capture and no folder
    std::string field;                          // fileName, url or text
    std::string content;                        // of the file, for file captures
    std::string fileType;                       // the representation asked for, if any
  };
  auto file = [](std::initializer_list<const char*> types, const char* name) {
    auto p = provider(types);
    p->fileName = name;
    p->fileContent = std::string("content of ") + name;
    return p;
  };
  using Kind = IncomingRequest::Kind;
  const std::string gone = "file:///nonexistent/gone.txt", page = "https://a.example/p.png";
  std::vector<Case> cases = {
      {"image", file({"public.image", "public.data"}, "a.png"), Kind::file, "a.png",
       "content of a.png", "public.image"},
      {"movie", file({"public.movie", "public.data"}, "b.mov"), Kind::file, "b.mov",
       "content of b.mov", "public.movie"},
      {"PDF", file({"com.adobe.pdf", "public.data"}, "c.pdf"), Kind::file, "c.pdf",
       "content of c.pdf", "com.adobe.pdf"},
      {"file URL is copied",
       urlProvider("file://" + existing.string(), {"public.url", "public.data"}), Kind::file,
       "notes.txt", "kept", ""},
      {"file URL whose copy fails is a link", urlProvider(gone), Kind::link, gone, "", ""},
      {"image without a file falls back to its address",
       urlProvider(page, {"public.image", "public.url"}), Kind::link, page, "", "public.image"},
      {"web address", urlProvider("https://www.example.com/"), Kind::link,
       "https://www.example.com/", "", ""},
      {"text", textProvider(QStringLiteral("  ")), Kind::text, "  ", "", ""},
      {"empty text", textProvider(QString()), std::nullopt, "", "", ""},
      {"nothing it can deliver", provider({"public.data"}), std::nullopt, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ignored;
    fs::remove_all(inbox(), ignored);
    const auto& p = c.provider;
    auto m = model({p});
    save(*m);
    auto written = captures();
    EXPECT_EQ(p->fileTypesRequested(),
              c.fileType.empty() ? std::set<std::string>{} : std::set<std::string>{c.fileType});
    EXPECT_FALSE(p->completedOnMainThread);
    if (!c.kind) {
      EXPECT_TRUE(written.empty());
      EXPECT_TRUE(fs::is_empty(inbox()));  // the folder made for it is gone again
      continue;
    }
    ASSERT_EQ(written.size(), 1u);
    const auto& [folder, request] = written.front();
    EXPECT_EQ(request.kind, *c.kind);
    switch (*c.kind) {
      case IncomingRequest::Kind::file:
        EXPECT_EQ(request.fileName, c.field);
        EXPECT_EQ(test_support::readFile((folder / c.field).string()), c.content);
        break;
      case IncomingRequest::Kind::link:
        EXPECT_EQ(request.url, c.field);
        break;
      case IncomingRequest::Kind::text:
        EXPECT_EQ(request.text, c.field);
        break;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
              *c.kind == IncomingRequest::Kind::file ? 2 : 1);
  }
}

TEST_F(ShareModelTest, EveryRequestCarriesTheChoicesOfTheMoment) {
  writeDestinations(std::string("{\"spaces\":[],\"collections\":[],\"currentSpaceID\":\"") +
                    kSpace + "\"}");
  auto m = model({textProvider(QStringLiteral("one")), urlProvider("https://a.example/")});
  m->setCollectionID(kCollection);
  m->setTags({"kept"});
  m->setTagDraft("Draft");
  m->setNote(" a note \n");
  save(*m);
  auto written = captures();
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0].second.kind, IncomingRequest::Kind::text);
  EXPECT_EQ(written[1].second.kind, IncomingRequest::Kind::link);
  for (const auto& [folder, request] : written) {
    EXPECT_EQ(request.spaceID, platform::UUID::parse(kSpace));
    EXPECT_EQ(request.collectionID, platform::UUID::parse(kCollection));
    EXPECT_EQ(request.tags, (std::vector<std::string>{"kept", "draft"}));
    EXPECT_EQ(request.note, " a note \n");
    EXPECT_EQ(request.createdAt, 1.5);
  }
  EXPECT_EQ(m->tagDraft(), QString());

  // A second save writes everything again, into new folders.
  save(*m);
  EXPECT_EQ(captures().size(), 4u);
}

TEST_F(ShareModelTest, NothingIsWrittenWithoutProvidersOrContainer) {
  auto none = model({});
  none->setTagDraft("t");
  save(*none);
  EXPECT_FALSE(fs::exists(inbox()));
  EXPECT_EQ(none->tags(), QStringList({"t"}));

  env_.variables.clear();  // no XDG_DATA_HOME and no HOME: no container
  auto m = model({textProvider(QStringLiteral("x"))});
  EXPECT_EQ(m->destinationLabel(), QStringLiteral("Nolt › Inbox"));
  save(*m);
  EXPECT_FALSE(fs::exists(inbox()));
  EXPECT_EQ(uuids_.count, 0u);
}

// A file named to the share dialog is followed through a link its owner made, but a FIFO, a
// device or a file the host would set aside is refused with a message: no capture, and no
// link to the file in its place.
TEST_F(ShareModelTest, RefusesWhatIsNotARegularFileWithinTheLimit) {
  std::string good = temp_.file("elsewhere/good.pdf");
  ASSERT_TRUE(temp_.write("elsewhere/good.pdf", "%PDF"));
  std::string path = temp_.file("shared/a.pdf");
  for (const test_support::HostileCase& c : test_support::kHostileCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(inbox());
    ASSERT_TRUE(test_support::plantHostile(c.kind, path, platform::kMaxFileBytes, good));
    QElapsedTimer clock;
    clock.start();
    auto m = model({makeFileProvider(path)});
    save(*m);
    EXPECT_LT(clock.elapsed(), 1000);
    auto written = captures();
    if (c.kind == test_support::Hostile::linkOutOfFolder) {
      ASSERT_EQ(written.size(), 1u);
      EXPECT_EQ(written[0].second.fileName, "a.pdf");
      EXPECT_EQ(m->refusal(), "");
      continue;
    }
    QString refusal =
        c.kind == test_support::Hostile::overCap ? "a.pdf is over 200 MB." : "Can't read a.pdf.";
    EXPECT_EQ(m->refusal(), refusal);
    EXPECT_EQ(m->summary(), refusal);
    EXPECT_EQ(m->savedCount(), 0);
    EXPECT_TRUE(written.empty());
    std::error_code ignored;
    EXPECT_TRUE(fs::is_empty(inbox(), ignored) || !fs::exists(inbox()));
  }
  // The device itself, as `nolt-share /dev/zero` names it.
  auto m = model({makeFileProvider("/dev/zero")});
  save(*m);
  EXPECT_EQ(m->refusal(), "Can't read zero.");
  EXPECT_TRUE(captures().empty());
}

TEST_F(ShareModelTest, ANoteTooLongForACaptureIsRefusedBeforeAnythingIsWritten) {
  auto m = model({textProvider(QStringLiteral("one")), textProvider(QStringLiteral("two"))});
  m->setNote(QString(static_cast<qsizetype>(platform::kMaxCaptureRequestBytes), 'n'));
  save(*m);
  EXPECT_EQ(m->refusal(), "The capture is over 16 MB.");
  EXPECT_FALSE(fs::exists(inbox()));
  m->setNote(QStringLiteral("short"));
  save(*m);
  EXPECT_EQ(m->refusal(), "");
  EXPECT_EQ(captures().size(), 2u);
}

}  // namespace
}  // namespace nolt::share
