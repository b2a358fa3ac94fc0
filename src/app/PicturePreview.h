#pragma once
// The picture-open dialog's preview pane: the selected file decoded through the registry and
// shown scaled to fit, with its size above it and a button that opens it in a window.

class QFileDialog;

namespace pennacrow {

void AttachPicturePreview(QFileDialog& dialog);

}  // namespace pennacrow
