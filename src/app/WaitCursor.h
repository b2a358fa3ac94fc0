#pragma once
// Shows the wait cursor for the life of the object: the cursor comes back on every path out of
// a long operation, failures included.

#include <QCursor>
#include <QGuiApplication>

namespace pennacrow {

class TWaitCursor {
 public:
  TWaitCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
  ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace pennacrow
