#include "NoltShare/extension_context.h"

#include <gtest/gtest.h>

#include <QImage>
#include <condition_variable>
#include <fstream>
#include <future>

#include "tests/support/test_host_process.h"

namespace nolt::share {
namespace {

ProviderObject loadObject(ItemProvider& provider, ObjectClass objectClass) {
  std::promise<ProviderObject> delivered;
  auto caller = std::this_thread::get_id();
  std::thread::id deliverer;
  provider.loadObject(objectClass, [&](ProviderObject object) {
    deliverer = std::this_thread::get_id();
    delivered.set_value(std::move(object));
  });
  ProviderObject object = delivered.get_future().get();
  EXPECT_NE(deliverer, caller);
  return object;
}

std::optional<std::filesystem::path> loadFile(ItemProvider& provider, std::string_view type) {
  std::promise<std::optional<std::filesystem::path>> delivered;
  provider.loadFileRepresentation(type, [&](const auto& file) { delivered.set_value(file); });
  return delivered.get_future().get();
}

TEST(ExtensionContextTest, EveryArgumentIsOneItem) {
  test_support::TempDir temp;
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(QString::fromStdString(temp.file("a picture.png")), "PNG"));
  ASSERT_TRUE(temp.write("notes.unknownkind", "x"));
  std::string png = temp.file("a picture.png");

  auto items = itemsFromArguments(
      {"https://www.example.com/a", png, "file://" + temp.path() + "/a%20picture.png", "--text",
       "hello world", "--text=", temp.file("missing.png"), "ftp://a.example/", "--", "--text",
       temp.file("notes.unknownkind")});
  // After "--", "--text" names a file like any other word; there is none by that name.
  std::vector<std::size_t> counts;
  for (const auto& item : items) counts.push_back(item.attachments.size());
  ASSERT_EQ(counts, (std::vector<std::size_t>{1, 1, 1, 1, 1, 0, 0, 0, 1}));

  ItemProvider& web = *items[0].attachments[0];
  EXPECT_TRUE(web.hasItemConformingToTypeIdentifier("public.url"));
  EXPECT_FALSE(web.hasItemConformingToTypeIdentifier("public.data"));
  auto url = loadObject(web, ObjectClass::url);
  ASSERT_TRUE(std::holds_alternative<URLObject>(url));
  EXPECT_EQ(std::get<URLObject>(url).absoluteString, "https://www.example.com/a");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(loadObject(web, ObjectClass::string)));

  for (std::size_t i : {1, 2}) {
    ItemProvider& file = *items[i].attachments[0];
    for (const char* type : {"public.image", "public.data", "public.url", "public.png"})
      EXPECT_TRUE(file.hasItemConformingToTypeIdentifier(type)) << type;
    EXPECT_FALSE(file.hasItemConformingToTypeIdentifier("public.movie"));
    auto fileURL = loadObject(file, ObjectClass::url);
    ASSERT_TRUE(std::holds_alternative<URLObject>(fileURL));
    EXPECT_EQ(std::get<URLObject>(fileURL).absoluteString,
              "file://" + temp.path() + "/a%20picture.png");
    auto picture = loadObject(file, ObjectClass::image);
    ASSERT_TRUE(std::holds_alternative<QImage>(picture));
    EXPECT_EQ(std::get<QImage>(picture).size(), QSize(3, 2));
    EXPECT_EQ(loadFile(file, "public.image"), std::filesystem::path(png));
    EXPECT_EQ(loadFile(file, "com.adobe.pdf"), std::nullopt);
  }

  ItemProvider& text = *items[3].attachments[0];
  EXPECT_TRUE(text.hasItemConformingToTypeIdentifier("public.plain-text"));
  auto words = loadObject(text, ObjectClass::string);
  ASSERT_TRUE(std::holds_alternative<QString>(words));
  EXPECT_EQ(std::get<QString>(words), QStringLiteral("hello world"));
  auto empty = loadObject(*items[4].attachments[0], ObjectClass::string);
  EXPECT_EQ(std::get<QString>(empty), QString());

  ItemProvider& unknown = *items[8].attachments[0];
  EXPECT_TRUE(unknown.hasItemConformingToTypeIdentifier("public.data"));
  EXPECT_TRUE(unknown.hasItemConformingToTypeIdentifier("public.url"));
  EXPECT_FALSE(unknown.hasItemConformingToTypeIdentifier("public.image"));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(loadObject(unknown, ObjectClass::image)));
}

TEST(ExtensionContextTest, RequestEndsOnce) {
  std::vector<int> statuses;
  ExtensionContext cancelled({}, [&](int status) { statuses.push_back(status); });
  cancelled.cancelRequest(kUserCancelledError);
  cancelled.completeRequest();
  ASSERT_NE(cancelled.cancelError(), nullptr);
  EXPECT_EQ(cancelled.cancelError()->domain, "NSCocoaErrorDomain");
  EXPECT_EQ(cancelled.cancelError()->code, 3072);

  ExtensionContext completed({}, [&](int status) { statuses.push_back(status); });
  completed.completeRequest();
  completed.cancelRequest(kUserCancelledError);
  EXPECT_EQ(completed.cancelError(), nullptr);
  EXPECT_EQ(statuses, (std::vector<int>{1, 0}));
}

TEST(ExtensionContextTest, ReadsTheCommandLine) {
  using Request = ShareCommandLine::Request;
  struct Case {
    std::vector<std::string> words;  // after the program
    Request request;
    std::vector<std::string> things;  // when shared
    const char* text = "";            // a part of the help or error text
  };
  const Case cases[] = {
      {{"/tmp/a.png", "--text", "a quote", "https://example.com/"},
       Request::share,
       {"/tmp/a.png", "--text", "a quote", "https://example.com/"}},
      {{"--text=--help"}, Request::share, {"--text=--help"}},
      {{"--text", "-v"}, Request::share, {"--text", "-v"}},
      // After "--" even words that look like options are things.
      {{"--", "--help", "-x.png"}, Request::share, {"--", "--help", "-x.png"}},
      // File names keep their bytes, UTF-8 or not.
      {{"/tmp/caf\xe9.png"}, Request::share, {"/tmp/caf\xe9.png"}},
      {{}, Request::share, {}},
      {{"--help"}, Request::help, {}, "--text <TEXT>"},
      {{"-h", "/tmp/a.png"}, Request::help, {}, "things"},
      {{"--version"}, Request::version, {}},
      {{"--bogus", "-v"}, Request::version, {}},
      {{"--bogus", "/tmp/a.png"}, Request::invalid, {}, "bogus"},
      {{"-x"}, Request::invalid, {}, "x"},
      {{"/tmp/a.png", "--text"}, Request::invalid, {}, "text"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words = {"nolt-share"};
    words.insert(words.end(), c.words.begin(), c.words.end());
    ShareCommandLine line = readCommandLine(words);
    SCOPED_TRACE(testing::PrintToString(c.words));
    EXPECT_EQ(line.request, c.request);
    EXPECT_EQ(line.things, c.things);
    EXPECT_TRUE(line.text.contains(QString::fromUtf8(c.text))) << line.text.toStdString();
  }
}

}  // namespace
}  // namespace nolt::share
