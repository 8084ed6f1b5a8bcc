#include "NoltShare/extension_context.h"

#include <QCommandLineParser>
#include <QFile>
#include <QImageReader>
#include <QUrl>
#include <boost/url/parse.hpp>
#include <filesystem>
#include <system_error>

#include "capture/incoming_request.h"
#include "platform/careful_files.h"
#include "platform/file_types.h"

namespace nolt::share {

namespace {

bool hasScheme(std::string_view text, std::string_view scheme) {
  if (text.size() <= scheme.size() || text[scheme.size()] != ':') return false;
  for (std::size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != scheme[i]) return false;
  return true;
}

// The picture in a file someone named. A FIFO or a device would block the reader or never
// end, so the file is opened without blocking and must be a regular one within the limit.
QImage readImage(const std::string& path) {
  struct stat status;
  platform::UniqueFD fd = platform::openNamedFile(path, status);
  if (!fd || static_cast<std::uint64_t>(status.st_size) > platform::kMaxFileBytes) return {};
  QFile file;
  if (!file.open(fd.get(), QIODevice::ReadOnly)) return {};
  QImage picture;
  QImageReader(&file).read(&picture);
  return picture;
}

// One object of one class under one type: a link, or a piece of text.
class ObjectProvider final : public ItemProvider {
 public:
  ObjectProvider(std::string_view type, ObjectClass objectClass, ProviderObject object)
      : type_(type), class_(objectClass), object_(std::move(object)) {}

  bool hasItemConformingToTypeIdentifier(std::string_view type) const override {
    return type == type_;
  }
  void loadObject(ObjectClass objectClass, ObjectCompletion completion) override {
    onOwnThread(
        [match = objectClass == class_, object = object_, completion = std::move(completion)] {
          completion(match ? object : ProviderObject());
        });
  }
  void loadFileRepresentation(std::string_view, FileCompletion completion) override {
    onOwnThread([completion = std::move(completion)] { completion(std::nullopt); });
  }

 private:
  std::string_view type_;
  ObjectClass class_;
  ProviderObject object_;
};

// A file of the type its name gives (generic data when the name says nothing), and its
// file URL.
class FileProvider final : public ItemProvider {
 public:
  explicit FileProvider(std::filesystem::path path)
      : path_(std::move(path)),
        type_(platform::typeForExtension(platform::pathExtension(path_.filename().string()))) {}

  bool hasItemConformingToTypeIdentifier(std::string_view type) const override {
    return type == platform::kURLType || conforms(type);
  }
  void loadObject(ObjectClass objectClass, ObjectCompletion completion) override {
    bool image = conforms(platform::kImageType);
    onOwnThread([objectClass, image, path = path_, completion = std::move(completion)] {
      QString file = QString::fromStdString(path.string());
      switch (objectClass) {
        case ObjectClass::url:
          return completion(
              URLObject{QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded).toStdString()});
        case ObjectClass::image: {
          QImage picture;
          if (image) picture = readImage(path.string());
          return completion(picture.isNull() ? ProviderObject() : ProviderObject(picture));
        }
        case ObjectClass::string:
          return completion(ProviderObject());
      }
    });
  }
  void loadFileRepresentation(std::string_view type, FileCompletion completion) override {
    bool available = conforms(type);
    onOwnThread([available, path = path_, completion = std::move(completion)] {
      completion(available ? std::optional(path) : std::nullopt);
    });
  }

 private:
  bool conforms(std::string_view type) const {
    return type_ ? type_->conforms(type) : type == platform::kDataType;
  }

  std::filesystem::path path_;
  const platform::FileType* type_;
};

// The provider of one thing named on the command line; none when it names nothing we read.
std::shared_ptr<ItemProvider> providerFor(const std::string& argument) {
  if (hasScheme(argument, "http") || hasScheme(argument, "https"))
    return capture::isAbsoluteURL(argument) ? makeURLProvider(argument) : nullptr;
  std::string path = argument;
  if (hasScheme(argument, "file")) {
    if (!capture::isAbsoluteURL(argument)) return nullptr;
    path = QUrl(QString::fromStdString(argument)).toLocalFile().toStdString();
  }
  std::error_code error;
  if (path.empty() || !std::filesystem::exists(path, error)) return nullptr;
  return makeFileProvider(std::filesystem::absolute(path, error).lexically_normal().string());
}

}  // namespace

std::shared_ptr<ItemProvider> makeURLProvider(std::string url) {
  return std::make_shared<ObjectProvider>(platform::kURLType, ObjectClass::url,
                                          URLObject{std::move(url)});
}
std::shared_ptr<ItemProvider> makeFileProvider(std::string path) {
  return std::make_shared<FileProvider>(std::move(path));
}
std::shared_ptr<ItemProvider> makeTextProvider(std::string text) {
  return std::make_shared<ObjectProvider>(platform::kPlainTextType, ObjectClass::string,
                                          QString::fromStdString(text));
}

ShareCommandLine readCommandLine(const std::vector<std::string>& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Saves files, links and text to your Nolt library. Exit status 0 once they "
                     "are saved, 1 when you cancel."));
  QCommandLineOption help = parser.addHelpOption();
  QCommandLineOption version = parser.addVersionOption();
  parser.addOption({QStringLiteral("text"), QStringLiteral("Share TEXT as a piece of text."),
                    QStringLiteral("TEXT")});
  parser.addPositionalArgument(
      QStringLiteral("things"),
      QStringLiteral("Files (paths or file: URLs) and http or https links; after -- every word "
                     "is one, even one starting with -."),
      QStringLiteral("[things…]"));
  // The parser records every option it knows even when another word is wrong.
  QStringList words;
  for (const std::string& argument : arguments) words << QString::fromLocal8Bit(argument);
  bool parsed = parser.parse(words);
  ShareCommandLine line;
  if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
    line.request = ShareCommandLine::Request::help;
    // The parser names the program as started, or not at all before the application exists.
    line.text = parser.helpText();
    if (qsizetype end = line.text.indexOf(u' ', 7); line.text.startsWith(u"Usage: ") && end > 0)
      line.text.replace(0, end, QStringLiteral("Usage: nolt-share"));
  } else if (parser.isSet(version)) {
    line.request = ShareCommandLine::Request::version;
  } else if (!parsed) {
    line.request = ShareCommandLine::Request::invalid;
    line.text = parser.errorText();
  } else {
    // The parser agreed that every word is --text, its text, "--" or a thing, so the words
    // are read again in their order, which the parser does not keep between kinds.
    if (!arguments.empty()) line.things.assign(arguments.begin() + 1, arguments.end());
  }
  return line;
}

std::vector<ExtensionItem> itemsFromArguments(const std::vector<std::string>& arguments) {
  std::vector<ExtensionItem> items;
  bool options = true;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    ExtensionItem item;
    if (options && argument == "--") {
      options = false;
      continue;
    }
    if (options && argument == "--text") {
      if (i + 1 < arguments.size()) item.attachments.push_back(makeTextProvider(arguments[++i]));
    } else if (options && argument.rfind("--text=", 0) == 0) {
      item.attachments.push_back(makeTextProvider(argument.substr(7)));
    } else if (auto provider = providerFor(argument)) {
      item.attachments.push_back(std::move(provider));
    }
    items.push_back(std::move(item));
  }
  return items;
}

ExtensionContext::ExtensionContext(std::vector<ExtensionItem> inputItems,
                                   std::function<void(int status)> end)
    : inputItems_(std::move(inputItems)), end_(std::move(end)) {}

void ExtensionContext::completeRequest() { finish(0); }

void ExtensionContext::cancelRequest(const ExtensionError& error) {
  if (ended_) return;
  cancelled_ = true;
  error_ = error;
  finish(1);
}

void ExtensionContext::finish(int status) {
  if (ended_) return;
  ended_ = true;
  if (end_) end_(status);
}

}  // namespace nolt::share
