// NoltShare/test_keys.h - key presses typed into the share window by nolt-share itself, for
// tests that run the real program without a person at the keyboard (--test-keys).
#pragma once

#include <QKeyEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWindow>
#include <optional>
#include <vector>

namespace nolt::share {

struct KeyStroke {
  int key;
  Qt::KeyboardModifiers modifiers;
  QString text;
};

// Steps separated by '|': "=TEXT" types each character of TEXT; Return, Enter, Escape, Tab,
// Backtab and Backspace press that key. None when a step is neither.
std::optional<std::vector<KeyStroke>> parseTestKeys(const QString& script);

// Presses the strokes into `window` one at a time, as real key presses and releases go to its
// focused item, once the window is active.
class KeyTyper : public QObject {
  Q_OBJECT

 public:
  KeyTyper(QWindow* window, std::vector<KeyStroke> strokes, QObject* parent = nullptr);

 private:
  void start();
  void next();

  QPointer<QWindow> window_;
  std::vector<KeyStroke> strokes_;
  std::size_t next_ = 0;
  bool started_ = false;
  QTimer timer_;
};

}  // namespace nolt::share
