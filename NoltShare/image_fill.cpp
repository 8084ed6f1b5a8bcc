#include "NoltShare/image_fill.h"

#include <QPainter>
#include <QPainterPath>

namespace nolt::share {

ImageFill::ImageFill(QQuickItem* parent) : QQuickPaintedItem(parent) { setAntialiasing(true); }

void ImageFill::setImage(const QImage& image) {
  image_ = image;
  emit imageChanged();
  update();
}

void ImageFill::paint(QPainter* painter) {
  if (image_.isNull() || width() <= 0 || height() <= 0) return;
  QSizeF size =
      QSizeF(image_.size()).scaled(QSizeF(width(), height()), Qt::KeepAspectRatioByExpanding);
  QRectF target((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(),
                size.height());
  QPainterPath shape;
  shape.addRoundedRect(QRectF(0, 0, width(), height()), radius_, radius_);
  painter->setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);
  painter->setClipPath(shape);
  painter->drawImage(target, image_);
}

}  // namespace nolt::share
