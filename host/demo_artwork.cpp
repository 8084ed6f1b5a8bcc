#include "host/demo_artwork.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>

namespace nolt::host {

namespace {

QImage drawArtwork(int index, int width, int height) {
  QImage image(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  double w = image.width(), h = image.height();
  QRectF all(0, 0, w, h);
  static const QColor kPalettes[][4] = {
      {QColor("#E76F51"), QColor("#F4A261"), QColor("#E9C46A"), QColor("#264653")},
      {QColor("#1D3557"), QColor("#457B9D"), QColor("#A8DADC"), QColor("#F1FAEE")},
      {QColor("#D62828"), QColor("#003049"), QColor("#FCBF49"), QColor("#EAE2B7")},
      {QColor("#2A9D8F"), QColor("#E9F5DB"), QColor("#87986A"), QColor("#3A5A40")},
      {QColor("#FF006E"), QColor("#8338EC"), QColor("#3A86FF"), QColor("#FFBE0B")},
      {QColor("#111111"), QColor("#F5F5F0"), QColor("#C8B6A6"), QColor("#A4907C")},
  };
  const QColor* c = kPalettes[index % 6];
  switch (index % 6) {
    case 0: {  // a sunset over hills
      QLinearGradient sky(0, 0, 0, h);
      sky.setColorAt(0, c[2]);
      sky.setColorAt(1, c[0]);
      p.fillRect(all, sky);
      p.setBrush(c[1]);
      p.drawEllipse(QPointF(w * 0.5, h * 0.62), h * 0.22, h * 0.22);
      QPainterPath hills;
      hills.moveTo(0, h);
      hills.lineTo(0, h * 0.7);
      hills.cubicTo(w * 0.3, h * 0.55, w * 0.6, h * 0.85, w, h * 0.65);
      hills.lineTo(w, h);
      hills.closeSubpath();
      p.setBrush(c[3]);
      p.drawPath(hills);
      break;
    }
    case 1:  // waves
      p.fillRect(all, c[3]);
      for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        double y = h * (0.35 + 0.2 * i);
        wave.moveTo(0, y);
        for (int k = 0; k < 4; ++k)
          wave.cubicTo(w * (k + 0.25) / 4, y - h * 0.08, w * (k + 0.75) / 4, y + h * 0.08,
                       w * (k + 1) / 4, y);
        wave.lineTo(w, h);
        wave.lineTo(0, h);
        wave.closeSubpath();
        p.setBrush(c[2 - i]);
        p.drawPath(wave);
      }
      break;
    case 2:  // shapes on a plain ground
      p.fillRect(all, c[3]);
      p.setBrush(c[0]);
      p.drawEllipse(QPointF(w * 0.32, h * 0.42), h * 0.24, h * 0.24);
      p.setBrush(c[1]);
      p.drawRect(QRectF(w * 0.5, h * 0.3, w * 0.3, h * 0.45));
      p.setBrush(c[2]);
      {
        QPainterPath triangle;
        triangle.moveTo(w * 0.2, h * 0.9);
        triangle.lineTo(w * 0.45, h * 0.6);
        triangle.lineTo(w * 0.7, h * 0.9);
        triangle.closeSubpath();
        p.drawPath(triangle);
      }
      break;
    case 3:  // leaves of a plant
      p.fillRect(all, c[1]);
      for (int i = 0; i < 7; ++i) {
        p.save();
        p.translate(w * 0.5, h * 0.95);
        p.rotate(-60 + i * 20);
        p.setBrush(i % 2 ? c[0] : c[3]);
        p.drawEllipse(QRectF(-w * 0.04, -h * 0.75, w * 0.08, h * 0.6));
        p.restore();
      }
      p.setBrush(c[2]);
      p.drawRect(QRectF(w * 0.4, h * 0.82, w * 0.2, h * 0.18));
      break;
    case 4: {  // a glowing gradient
      QRadialGradient glow(QPointF(w * 0.35, h * 0.4), std::max(w, h) * 0.8);
      glow.setColorAt(0, c[3]);
      glow.setColorAt(0.35, c[0]);
      glow.setColorAt(0.7, c[1]);
      glow.setColorAt(1, c[2]);
      p.fillRect(all, glow);
      break;
    }
    default:  // a quiet grid of tiles
      p.fillRect(all, c[1]);
      for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column) {
          p.setBrush(c[(row + column) % 2 == 0 ? 2 : ((row * 4 + column) % 5 == 0 ? 0 : 3)]);
          p.drawRoundedRect(
              QRectF(w * (0.06 + column * 0.23), h * (0.08 + row * 0.3), w * 0.19, h * 0.24), 4, 4);
        }
      break;
  }
  return image;
}

}  // namespace

std::string demoArtworkPNG(int index, int width, int height) {
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  drawArtwork(index, width, height).save(&buffer, "PNG");
  return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

}  // namespace nolt::host
