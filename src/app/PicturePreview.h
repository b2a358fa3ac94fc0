#pragma once
// The picture-open dialog's preview pane: the selected file decoded through the registry and
// shown scaled to fit, with its size above it and a button that opens it in a window.

#include <QSize>
#include <memory>

class QDialog;
class QFileDialog;
class QImage;
class QWidget;

namespace pennacrow {

void AttachPicturePreview(QFileDialog& dialog);

// The size a picture is shown at in the preview window: its own, or scaled down with its aspect
// kept to fit room; never larger than its own.
QSize PreviewPictureSize(QSize picture, QSize room);

// The preview button's window: the picture scaled to fit the free area of the parent's screen.
std::unique_ptr<QDialog> MakePreviewWindow(const QImage& picture, QWidget* parent);

}  // namespace pennacrow
