// widget/entry_renderer.h - draws one entry off screen, for `nolt-widget render`.
#pragma once

#include <QImage>

#include "widget/widget_model.h"

namespace nolt::widget {

// The view of `model` at the family's size; the image has that many pixels times the
// device pixel ratio (QT_SCALE_FACTOR). A null image when the view could not be made.
// Needs a QGuiApplication; the software renderer gives the same pixels on every machine.
QImage renderEntry(WidgetModel& model, Family family);

}  // namespace nolt::widget
