// plain_window: an ordinary application window of one colour, for desktop tests that need a
// normal window beside the program under test. Its Wayland app id is "plain_window".
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

namespace {

class PlainWindow : public QRasterWindow {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter(this).fillRect(QRect(QPoint(), size()), QColor(0xE0, 0x40, 0xC0));
  }
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("plain_window"));
  PlainWindow window;
  window.setTitle(QStringLiteral("plain window"));
  window.resize(300, 200);
  window.show();
  return app.exec();
}
