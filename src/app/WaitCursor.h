#pragma once
// Shows the wait cursor for the life of the object: the cursor comes back on every path out of
// a long operation, failures included. Work the user can stop shows the busy cursor instead,
// which still points at the button that stops it.

#include <QCursor>
#include <QGuiApplication>

namespace pennacrow {

class TWaitCursor {
 public:
  explicit TWaitCursor(Qt::CursorShape shape = Qt::WaitCursor) {
    QGuiApplication::setOverrideCursor(QCursor(shape));
  }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
  ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace pennacrow
