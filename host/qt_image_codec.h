// host/qt_image_codec.h - the image codec on Qt's QImage: decoding, scaling, JPEG and PNG,
// colours, and posters drawn with QPainter. Works without a display or an
// application object; nothing here draws text, which would need fonts from one.
#pragma once

#include <memory>

#include "host/image_codec.h"

namespace nolt::host {

std::unique_ptr<ImageCodec> makeQtImageCodec();

}  // namespace nolt::host
