#include "host/qt_image_codec.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <cstdlib>

#include "host/demo_artwork.h"

namespace nolt::host {
namespace {

QImage decoded(const std::string& bytes) {
  QImage image;
  image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
  return image;
}

std::string encoded(const QImage& image, const char* format) {
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return out.toStdString();
}

class QtImageCodecTest : public ::testing::Test {
 protected:
  std::unique_ptr<ImageCodec> codec_ = makeQtImageCodec();
};

TEST_F(QtImageCodecTest, ScalesToTheLongestSideWithoutEnlarging) {
  std::string art = demoArtworkPNG(0, 1600, 1200);
  struct Case {
    int longestSide, width, height;
    bool sameBytes;
  } cases[] = {{1024, 1024, 768, false}, {2048, 1600, 1200, true}, {10, 10, 7, false}};
  for (const Case& c : cases) {
    std::optional<EncodedImage> image = codec_->scaled(art, c.longestSide);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(decoded(image->data).size(), QSize(c.width, c.height));
    EXPECT_EQ(image->data == art, c.sameBytes) << c.longestSide;
  }
  EXPECT_FALSE(codec_->scaled("not an image", 100));
}

TEST_F(QtImageCodecTest, TransparencyStaysPNGAndEverythingElseBecomesJPEG) {
  QImage clear(3000, 10, QImage::Format_ARGB32);
  clear.fill(Qt::transparent);
  EXPECT_EQ(codec_->scaled(encoded(clear, "PNG"), 100)->mimeType, "image/png");
  QImage solid(3000, 10, QImage::Format_RGB32);
  solid.fill(Qt::red);
  EXPECT_EQ(codec_->scaled(encoded(solid, "PNG"), 100)->mimeType, "image/jpeg");
}

TEST_F(QtImageCodecTest, PaletteWeighsTheMainColours) {
  QImage image(100, 100, QImage::Format_RGB32);
  image.fill(QColor("#FF0000"));
  for (int y = 75; y < 100; ++y)
    for (int x = 0; x < 100; ++x) image.setPixelColor(x, y, QColor("#0000FF"));
  std::optional<ImageFacts> facts = codec_->inspect(encoded(image, "PNG"));
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->width, 100);
  ASSERT_EQ(facts->palette.size(), 2u);
  EXPECT_EQ(facts->palette[0].hex, "#FF0000");
  EXPECT_NEAR(facts->palette[0].weight, 0.75, 0.03);
  // Scaling blends the edge between the colours a little.
  EXPECT_LE(std::abs(QColor(QString::fromStdString(facts->palette[1].hex)).blue() - 255), 2);
}

TEST_F(QtImageCodecTest, ThumbnailsArePosterJPEGsOrSquareCrops) {
  std::optional<std::string> thumbnail = codec_->thumbnail(demoArtworkPNG(2, 800, 400), 400);
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(decoded(*thumbnail).size(), QSize(400, 400));
  for (PosterKind kind :
       {PosterKind::video, PosterKind::pdf, PosterKind::link, PosterKind::text, PosterKind::file}) {
    EncodedImage poster = codec_->poster(kind, "seed", 512, true);
    EXPECT_EQ(poster.mimeType, "image/jpeg");
    QImage image = decoded(poster.data);
    EXPECT_EQ(std::max(image.width(), image.height()), 512);
  }
}

}  // namespace
}  // namespace nolt::host
