// NoltShare/share_view_controller.h - the share request's one contact with the desktop: builds
// the model from the request's items, shows the form in a window of its natural size, and
// ends the request, cancelled or completed after the captures are written and announced.
#pragma once

#include <QtQml/qqmlregistration.h>

#include <QObject>
#include <QPointer>
#include <QSize>
#include <memory>

#include "NoltShare/extension_context.h"
#include "NoltShare/share_model.h"
#include "platform/notify.h"

class QQmlEngine;
class QQuickView;

namespace nolt::share {

class ShareViewController : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by main()")

 public:
  // A null context stands for a request that is not there: no items, nobody to tell the end.
  ShareViewController(ExtensionContext* context, ShareServices services,
                      platform::NotificationCenter& notifications, QObject* parent = nullptr);
  ~ShareViewController() override;

  // Builds the model and the form, and sizes the window to the form. Closing the window
  // cancels the request.
  void loadView(QQmlEngine& engine);

  ShareModel* model() const { return model_.get(); }
  QQuickView* view() const { return view_.get(); }
  // The form's natural size when the view was loaded; later changes do not move it.
  QSize preferredContentSize() const { return preferredContentSize_; }

  // Ends the request with the user-cancelled error; nothing is written.
  Q_INVOKABLE void cancel();
  // Saves, tells the host and completes the request; returns at once. When the model refused
  // something, the request stays open with the form showing the reason.
  Q_INVOKABLE void save();

 signals:
  void saveFinished();  // after the host was told, before the request ends

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Task runSave();

  ExtensionContext* context_;
  ShareServices services_;
  platform::NotificationCenter& notifications_;
  std::unique_ptr<ShareModel> model_;
  std::unique_ptr<QQuickView> view_;
  QSize preferredContentSize_;
};

}  // namespace nolt::share
