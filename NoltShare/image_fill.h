// NoltShare/image_fill.h - a picture scaled to fill its item, centred and cut to the item's
// rounded rectangle; QML's Image takes only URLs, and the preview is an image in memory.
#pragma once

#include <QtQml/qqmlregistration.h>

#include <QImage>
#include <QQuickPaintedItem>

namespace nolt::share {

class ImageFill : public QQuickPaintedItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged)
  Q_PROPERTY(qreal radius MEMBER radius_ NOTIFY imageChanged)

 public:
  explicit ImageFill(QQuickItem* parent = nullptr);

  QImage image() const { return image_; }
  void setImage(const QImage& image);
  void paint(QPainter* painter) override;

 signals:
  void imageChanged();

 private:
  QImage image_;
  qreal radius_ = 0;
};

}  // namespace nolt::share
