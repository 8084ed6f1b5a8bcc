#include "NoltShare/test_keys.h"

#include <QGuiApplication>

namespace nolt::share {

std::optional<std::vector<KeyStroke>> parseTestKeys(const QString& script) {
  struct Named {
    const char* name;
    KeyStroke stroke;
  };
  static const Named kNamed[] = {
      {"Return", {Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")}},
      {"Enter", {Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r")}},
      {"Escape", {Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b")}},
      {"Tab", {Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t")}},
      {"Backtab", {Qt::Key_Backtab, Qt::ShiftModifier, QString()}},
      {"Backspace", {Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b")}},
  };
  std::vector<KeyStroke> strokes;
  for (const QString& step : script.split(QLatin1Char('|'))) {
    if (step.startsWith(QLatin1Char('='))) {
      for (QChar c : step.mid(1)) {
        // Printable ASCII characters share their key codes with Qt's upper-case keys.
        int key = c.unicode() < 0x80 ? c.toUpper().unicode() : int(Qt::Key_unknown);
        strokes.push_back({key, Qt::NoModifier, QString(c)});
      }
      continue;
    }
    auto named = std::find_if(std::begin(kNamed), std::end(kNamed),
                              [&](const Named& n) { return step == QLatin1String(n.name); });
    if (named == std::end(kNamed)) return std::nullopt;
    strokes.push_back(named->stroke);
  }
  return strokes;
}

KeyTyper::KeyTyper(QWindow* window, std::vector<KeyStroke> strokes, QObject* parent)
    : QObject(parent), window_(window), strokes_(std::move(strokes)) {
  timer_.setInterval(10);
  connect(&timer_, &QTimer::timeout, this, &KeyTyper::next);
  connect(window, &QWindow::activeChanged, this, &KeyTyper::start);
  window->requestActivate();
  if (window->isActive()) start();
}

void KeyTyper::start() {
  if (started_ || !window_ || !window_->isActive()) return;
  started_ = true;
  timer_.start();
}

void KeyTyper::next() {
  if (!window_ || next_ == strokes_.size()) return timer_.stop();
  const KeyStroke& stroke = strokes_[next_++];
  QKeyEvent press(QEvent::KeyPress, stroke.key, stroke.modifiers, stroke.text);
  QGuiApplication::sendEvent(window_, &press);
  if (!window_) return;
  QKeyEvent release(QEvent::KeyRelease, stroke.key, stroke.modifiers, stroke.text);
  QGuiApplication::sendEvent(window_, &release);
}

}  // namespace nolt::share
