// BusyCursor: shows the wait cursor over the whole program for as long as
// it lives (a blocking step, or a background fetch the window waits for).
// UI thread only.
#pragma once

#include <QApplication>

namespace velkin::uikit {

class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace velkin::uikit
