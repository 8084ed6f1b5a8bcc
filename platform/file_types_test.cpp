#include "platform/file_types.h"

#include <gtest/gtest.h>

namespace nolt::platform {
namespace {

TEST(FileTypesTest, ExtensionsAreFoundWithoutRegardToCase) {
  struct Case {
    std::string_view extension, identifier, broad;
  };
  for (const Case& c : std::initializer_list<Case>{{"png", "public.png", kImageType},
                                                   {"JPG", "public.jpeg", kImageType},
                                                   {"Jpeg", "public.jpeg", kImageType},
                                                   {"heic", "public.heic", kImageType},
                                                   {"svg", "public.svg-image", kImageType},
                                                   {"MOV", "com.apple.quicktime-movie", kMovieType},
                                                   {"mkv", "org.matroska.mkv", kMovieType},
                                                   {"mpeg", "public.mpeg", kMovieType},
                                                   {"pdf", "com.adobe.pdf", kPDFType},
                                                   {"txt", "public.plain-text", kPlainTextType}}) {
    const FileType* type = typeForExtension(c.extension);
    ASSERT_NE(type, nullptr) << c.extension;
    EXPECT_EQ(type->identifier, c.identifier);
    EXPECT_TRUE(type->conforms(c.broad)) << c.extension;
    EXPECT_TRUE(type->conforms(kDataType)) << c.extension;
  }
  EXPECT_EQ(typeForExtension(""), nullptr);
  EXPECT_EQ(typeForExtension("docx"), nullptr);
  EXPECT_FALSE(typeForExtension("pdf")->conforms(kImageType));
  EXPECT_FALSE(typeForExtension("txt")->conforms(kMovieType));
}

TEST(FileTypesTest, MIMETypesGiveTheirPreferredExtension) {
  struct Case {
    std::string_view mime, extension;
  };
  for (const Case& c : std::initializer_list<Case>{{"image/jpeg", "jpeg"},
                                                   {"image/png", "png"},
                                                   {"video/quicktime", "mov"},
                                                   {"application/pdf", "pdf"},
                                                   {"text/plain; charset=utf-8", "txt"},
                                                   {"IMAGE/WEBP", "webp"}}) {
    const FileType* type = typeForMIMEType(c.mime);
    ASSERT_NE(type, nullptr) << c.mime;
    EXPECT_EQ(type->preferredExtension, c.extension);
  }
  EXPECT_EQ(typeForMIMEType("application/x-unknown"), nullptr);
}

TEST(FileTypesTest, PathExtensionTakesTheLastComponentsSuffix) {
  EXPECT_EQ(pathExtension("a/b.PNG"), "PNG");
  EXPECT_EQ(pathExtension("dir.d/file"), "");
  EXPECT_EQ(pathExtension(".hidden"), "");
  EXPECT_EQ(pathExtension("archive.tar.gz"), "gz");
  EXPECT_EQ(pathExtension("folder/"), "");
}

}  // namespace
}  // namespace nolt::platform
