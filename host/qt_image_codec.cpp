#include "host/qt_image_codec.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <map>

#include "host/taste.h"

namespace nolt::host {

namespace {

constexpr int kJPEGQuality = 85;
constexpr int kPaletteSize = 5;

QByteArray bytesOf(std::string_view bytes) {
  return QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string encode(const QImage& image, const char* format, int quality = -1) {
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, quality);
  return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

// A JPEG has no transparency: what was transparent shows white.
QImage flattened(const QImage& image) {
  if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
  QImage flat(image.size(), QImage::Format_RGB32);
  flat.fill(Qt::white);
  QPainter painter(&flat);
  painter.drawImage(0, 0, image);
  return flat;
}

EncodedImage encoded(const QImage& image, bool jpeg) {
  if (jpeg)
    return {encode(flattened(image), "JPEG", kJPEGQuality), "image/jpeg", image.width(),
            image.height()};
  return {encode(image, "PNG"), "image/png", image.width(), image.height()};
}

QImage decode(std::string_view bytes, QByteArray* format = nullptr) {
  QByteArray data = bytesOf(bytes);
  QBuffer buffer(&data);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);  // a phone photo stands the right way up
  if (format) *format = reader.format();
  return reader.read();
}

// A stable number from a text, so a poster for the same item always looks the same.
std::uint32_t hashOf(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

QColor hue(std::uint32_t seed, int shift, int saturation, int value) {
  return QColor::fromHsv(static_cast<int>((seed + static_cast<std::uint32_t>(shift)) % 360),
                         saturation, value);
}

QSize posterSize(PosterKind kind, int longestSide) {
  int side = std::max(16, longestSide);
  switch (kind) {
    case PosterKind::video:
      return {side, side * 9 / 16};
    case PosterKind::pdf:
    case PosterKind::file:
      return {side * 3 / 4, side};
    default:
      return {side, side * 3 / 4};
  }
}

void drawPage(QPainter& p, const QRectF& page, const QColor& accent, bool foldedCorner) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 40));
  p.drawRoundedRect(page.translated(page.width() * 0.02, page.width() * 0.03), 6, 6);
  p.setBrush(Qt::white);
  p.drawRoundedRect(page, 6, 6);
  double margin = page.width() * 0.12;
  p.setBrush(accent);
  p.drawRect(
      QRectF(page.left() + margin, page.top() + margin, page.width() * 0.45, page.height() * 0.06));
  p.setBrush(QColor(200, 200, 205));
  double line = page.height() * 0.035;
  for (int i = 0; i < 9; ++i) {
    double y = page.top() + margin + page.height() * 0.12 + i * line * 2;
    if (y + line > page.bottom() - margin) break;
    double width = (page.width() - 2 * margin) * (i % 3 == 2 ? 0.6 : 1.0);
    p.drawRect(QRectF(page.left() + margin, y, width, line));
  }
  if (foldedCorner) {
    double fold = page.width() * 0.2;
    QPainterPath corner;
    corner.moveTo(page.right() - fold, page.top());
    corner.lineTo(page.right(), page.top() + fold);
    corner.lineTo(page.right() - fold, page.top() + fold);
    corner.closeSubpath();
    p.setBrush(QColor(220, 220, 225));
    p.drawPath(corner);
  }
}

QImage drawPoster(PosterKind kind, std::string_view seedText, int longestSide) {
  std::uint32_t seed = hashOf(seedText);
  QSize size = posterSize(kind, longestSide);
  QImage image(size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QRectF all(0, 0, size.width(), size.height());
  QLinearGradient background(all.topLeft(), all.bottomRight());
  background.setColorAt(0, hue(seed, 0, 120, 90));
  background.setColorAt(1, hue(seed, 40, 160, 40));
  double w = size.width(), h = size.height();
  switch (kind) {
    case PosterKind::video: {
      p.fillRect(all, background);
      double r = std::min(w, h) * 0.18;
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(255, 255, 255, 210));
      p.drawEllipse(all.center(), r, r);
      QPainterPath play;
      play.moveTo(all.center() + QPointF(-r * 0.35, -r * 0.5));
      play.lineTo(all.center() + QPointF(r * 0.55, 0));
      play.lineTo(all.center() + QPointF(-r * 0.35, r * 0.5));
      play.closeSubpath();
      p.setBrush(hue(seed, 0, 140, 70));
      p.drawPath(play);
      break;
    }
    case PosterKind::pdf:
    case PosterKind::file:
      p.fillRect(all, QColor(236, 236, 240));
      drawPage(p, QRectF(w * 0.14, h * 0.1, w * 0.72, h * 0.8),
               kind == PosterKind::pdf ? QColor(214, 48, 49) : hue(seed, 0, 150, 200),
               kind == PosterKind::file);
      break;
    case PosterKind::link: {
      p.fillRect(all, background);
      QRectF window(w * 0.1, h * 0.12, w * 0.8, h * 0.76);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(250, 250, 252));
      p.drawRoundedRect(window, 10, 10);
      p.setBrush(QColor(225, 225, 230));
      p.drawRect(QRectF(window.left(), window.top() + h * 0.08, window.width(), 2));
      for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor::fromHsv(i * 50, 170, 230));
        p.drawEllipse(QPointF(window.left() + h * 0.05 + i * h * 0.045, window.top() + h * 0.04),
                      h * 0.013, h * 0.013);
      }
      p.setBrush(hue(seed, 180, 120, 220));
      p.drawRoundedRect(QRectF(window.left() + w * 0.05, window.top() + h * 0.14,
                               window.width() * 0.5, window.height() * 0.4),
                        6, 6);
      p.setBrush(QColor(205, 205, 212));
      for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(window.left() + window.width() * 0.62,
                          window.top() + h * 0.16 + i * h * 0.07, window.width() * 0.3, h * 0.03));
      break;
    }
    case PosterKind::text:
      p.fillRect(all, QColor(250, 246, 232));
      p.setPen(Qt::NoPen);
      p.setBrush(hue(seed, 0, 90, 150));
      for (int i = 0; i < 7; ++i)
        p.drawRoundedRect(
            QRectF(w * 0.12, h * 0.15 + i * h * 0.1, w * (i % 3 == 2 ? 0.5 : 0.76), h * 0.045), 3,
            3);
      break;
  }
  return image;
}

class QtImageCodec final : public ImageCodec {
 public:
  std::optional<ImageFacts> inspect(std::string_view bytes) override {
    QImage image = decode(bytes);
    if (image.isNull()) return std::nullopt;
    ImageFacts facts{image.width(), image.height(), {}};
    QImage small = image.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_ARGB32);
    // Colours fall into 512 buckets (3 bits a channel); each bucket keeps its mean colour.
    struct Bucket {
      double r = 0, g = 0, b = 0, count = 0;
    };
    std::map<int, Bucket> buckets;
    for (int y = 0; y < small.height(); ++y)
      for (int x = 0; x < small.width(); ++x) {
        QRgb pixel = small.pixel(x, y);
        if (qAlpha(pixel) < 128) continue;
        Bucket& bucket =
            buckets[((qRed(pixel) >> 5) << 6) | ((qGreen(pixel) >> 5) << 3) | (qBlue(pixel) >> 5)];
        bucket.r += qRed(pixel);
        bucket.g += qGreen(pixel);
        bucket.b += qBlue(pixel);
        bucket.count += 1;
      }
    std::vector<Swatch> swatches;
    for (const auto& [key, bucket] : buckets) {
      QColor mean(static_cast<int>(bucket.r / bucket.count),
                  static_cast<int>(bucket.g / bucket.count),
                  static_cast<int>(bucket.b / bucket.count));
      swatches.push_back({mean.name(QColor::HexRgb).toUpper().toStdString(), bucket.count});
    }
    std::stable_sort(swatches.begin(), swatches.end(),
                     [](const Swatch& a, const Swatch& b) { return a.weight > b.weight; });
    if (!swatches.empty()) facts.palette = mergePalettes({{swatches, 1.0}}, kPaletteSize);
    return facts;
  }

  std::optional<EncodedImage> scaled(std::string_view bytes, int longestSide) override {
    QByteArray format;
    QImage image = decode(bytes, &format);
    if (image.isNull()) return std::nullopt;
    bool fits = std::max(image.width(), image.height()) <= longestSide;
    // A picture that already fits is sent as it was saved, without a second compression.
    if (fits && (format == "png" || format == "jpeg" || format == "jpg"))
      return EncodedImage{std::string(bytes), format == "png" ? "image/png" : "image/jpeg",
                          image.width(), image.height()};
    if (!fits)
      image = image.scaled(longestSide, longestSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return encoded(image, !image.hasAlphaChannel());
  }

  std::optional<std::string> thumbnail(std::string_view bytes, int side) override {
    QImage image = decode(bytes);
    if (image.isNull()) return std::nullopt;
    int square = std::min(image.width(), image.height());
    QImage centre =
        image.copy((image.width() - square) / 2, (image.height() - square) / 2, square, square);
    return encode(
        flattened(centre.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
        "JPEG", kJPEGQuality);
  }

  EncodedImage poster(PosterKind kind, std::string_view seed, int longestSide, bool jpeg) override {
    return encoded(drawPoster(kind, seed, longestSide), jpeg);
  }
};

}  // namespace

std::unique_ptr<ImageCodec> makeQtImageCodec() { return std::make_unique<QtImageCodec>(); }

}  // namespace nolt::host
