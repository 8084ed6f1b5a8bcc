#include "NoltShare/share_view_controller.h"

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QtMath>

#include "capture/inbox.h"

namespace nolt::share {

ShareViewController::ShareViewController(ExtensionContext* context, ShareServices services,
                                         platform::NotificationCenter& notifications,
                                         QObject* parent)
    : QObject(parent),
      context_(context),
      services_(std::move(services)),
      notifications_(notifications) {}

ShareViewController::~ShareViewController() {
  // The window goes before the model it shows.
  view_.reset();
}

void ShareViewController::loadView(QQmlEngine& engine) {
  ShareModel::Providers providers;
  if (context_)
    for (const ExtensionItem& item : context_->inputItems())
      for (const auto& attachment : item.attachments) providers.push_back(attachment);
  view_.reset();
  model_ = std::make_unique<ShareModel>(std::move(providers), services_);

  view_ = std::make_unique<QQuickView>(&engine, nullptr);
  view_->setTitle(QStringLiteral("Nolt"));
  view_->setResizeMode(QQuickView::SizeRootObjectToView);
  view_->setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(model_.get())},
                               {QStringLiteral("controller"), QVariant::fromValue(this)}});
  view_->setSource(QUrl(QStringLiteral("qrc:/Nolt/Share/ShareSheet.qml")));
  if (QQuickItem* form = view_->rootObject()) {
    QSize fitting(qCeil(form->implicitWidth()), qCeil(form->implicitHeight()));
    view_->resize(fitting);
    preferredContentSize_ = fitting;
  }
  view_->installEventFilter(this);
}

bool ShareViewController::eventFilter(QObject* watched, QEvent* event) {
  // Closing the window is the person's way out too, as Escape is.
  if (watched == view_.get() && event->type() == QEvent::Close) cancel();
  return QObject::eventFilter(watched, event);
}

void ShareViewController::cancel() {
  if (context_) context_->cancelRequest(kUserCancelledError);
}

void ShareViewController::save() { runSave().detach(); }

Task ShareViewController::runSave() {
  QPointer<ShareViewController> self(this);
  co_await nextTurn(this);  // the action returns first
  if (!self) co_return;
  co_await model_->save();
  if (!self) co_return;
  if (!model_->refusal().isEmpty()) {
    // The form stays open showing why, so the person knows what was not saved; whatever was
    // saved is the host's to collect all the same.
    if (model_->savedCount() > 0) capture::postIncoming(notifications_);
    co_return;
  }
  // Only now, with every capture whole, is the host told to look.
  capture::postIncoming(notifications_);
  emit saveFinished();
  if (context_) context_->completeRequest();
}

}  // namespace nolt::share
