#pragma once

#include <QPointer>
#include <QWidget>

namespace vantrix::ui {

// Every window class has at most one instance. The first Reach<W>() makes
// it (constructor, then its Open(), then shows it when the class is laid
// out visible); later calls reach the same window; once that window has
// been closed, the next call makes a fresh one.
//
// Windows made here delete themselves when closed (WA_DeleteOnClose). Qt
// clears that attribute the moment the close is accepted and deletes the
// widget only later, from the event loop, so a window without the
// attribute any more is closed even while the QPointer still sees it.
template <class W>
QPointer<W>& InstanceOf() {
  static QPointer<W> instance;
  return instance;
}

// The open window of class W, or nullptr when there is none.
template <class W>
W* Existing() {
  W* window = InstanceOf<W>().data();
  if (window == nullptr || !window->testAttribute(Qt::WA_DeleteOnClose)) return nullptr;
  return window;
}

template <class W>
W& Reach() {
  if (W* window = Existing<W>()) return *window;
  auto* window = new W();
  window->setAttribute(Qt::WA_DeleteOnClose);
  InstanceOf<W>() = window;
  window->Open();
  if constexpr (W::kVisibleAtCreation) window->show();
  return *window;
}

}  // namespace vantrix::ui
