#pragma once
// TTitledPopupMenu: a pop-up menu with a vertical title band along its left edge.

#include <QMenu>

namespace pennacrow {

class TTitledPopupMenu : public QMenu {
  Q_OBJECT
 public:
  explicit TTitledPopupMenu(const QString& title, QWidget* parent = nullptr);

  QString BandTitle() const { return FTitle; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  static constexpr int kBandWidth = 22;
  QString FTitle;
};

}  // namespace pennacrow
