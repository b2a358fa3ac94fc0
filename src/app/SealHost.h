#pragma once
// TSealHost: what the sealing commands need of the window they run in, and all they may touch of
// it. The main window gives them this face and keeps the rest of itself to itself.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace pennacrow {

class TBitmap;
class TFractalImage;
class TTextMemo;
class TUserInterface;

class TSealHost {
 public:
  // The window the commands' dialogs and menus belong to.
  virtual QWidget& Window() = 0;
  virtual TUserInterface& Ui() = 0;
  virtual TFractalImage& Picture() = 0;
  // The text a sealed write takes and an opened text replaces.
  virtual TTextMemo& Memo() = 0;
  // The picture menu's "隐蔽写入" is checked: the low bits are written stealthily.
  virtual bool WritesStealthily() const = 0;
  // Runs a command as the window runs its own: an error is shown in a message box and the rest
  // of the command is skipped.
  virtual void Guarded(const std::function<void()>& command) = 0;
  // Runs work off the GUI thread under the window's progress line; its exception is rethrown
  // here.
  virtual void RunInBackground(const QString& activity, const std::function<void()>& work) = 0;
  // A write changed the picture, which was before as it is now: the window shows the picture,
  // holds it unsaved and says the write succeeded.
  virtual void PictureWritten(std::unique_ptr<TBitmap> before) = 0;
  // The JPEG file the picture was loaded from, while the picture is as loaded (a keyed write may
  // then go into the file's own coefficients); empty otherwise.
  virtual const std::string& JpegSource() const = 0;
  // The JPEG file a keyed write into those coefficients made, until the picture changes; empty
  // otherwise.
  virtual const std::vector<std::uint8_t>& WrittenJpeg() const = 0;
  // A keyed write went into the JPEG's coefficients: as PictureWritten, and the save then writes
  // these bytes, since the picture shown is only their decoding.
  virtual void JpegWritten(std::unique_ptr<TBitmap> before, std::vector<std::uint8_t> written) = 0;
  // What a command came to, in the status bar.
  virtual void ShowOutcome(const QString& text) = 0;

 protected:
  ~TSealHost() = default;
};

}  // namespace pennacrow
