#pragma once
// TPennacrowForm: the main window. It holds the picture control, the text memo, the status bar
// and the commands; every rule it applies is a call into the core.
//
// What each handler is to the user (key in brackets):
// clang-format off
//   FlatButton1Click         "加载图像" [Ctrl+O]  open a picture (a picture dropped on the window
//                                                too); off the GUI thread; asks first when a
//                                                written picture is unsaved
//   FlatButton2Click         "保存图像" [Ctrl+S]  save the picture as BMP or PNG; off the GUI
//                                                thread; needs a picture
//   FlatButton4Click         "读取数据" [Ctrl+R]  read the hidden text into the memo (asks first
//                                                when the picture holds none)
//   FlatButton6Click         "写入数据" [Ctrl+M]  hide the memo's text in the picture; a right
//                                                click (or the menu key) offers the sealed writes
//   FlatButton5Click         "加密" [Ctrl+L], "解密" [Ctrl+Shift+L]  the encryption dialog, on
//                                                the memo's text
//   FlatButton7 (no handler) "打印图像" [Ctrl+P]  drops the print menu down: PrintAtScale,
//                                                PrintPreview1Click, PrinterSetup1Click; needs a
//                                                picture
//   FlatButton3Click         "帮助" [F1]          the guide
//   FlatButton8Click         "关闭" [Ctrl+Q]      close the window (asks when a written picture
//                                                is unsaved)
//   LoadTextFile1Click, SaveTextDataToFile1Click, ClearTextBox1Click: the memo's menu "文本"
//   PaintFractalMenuItem, AnalysisMenuItemClick: the picture's menu (both off the GUI thread; a
//                                                paint asks first when a written picture is
//                                                unsaved, the analysis can be stopped)
// While work runs off the GUI thread, the toolbar, the picture's menu, drops and closing wait.
// clang-format on

#include <QImage>
#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Printing.h"
#include "picture/FractalImage.h"
#include "picture/FractalTypes.h"

class QLabel;
class QToolButton;
class QScrollArea;
class QTimer;
class QToolBar;
class QMenu;
class QAction;
class QMimeData;

namespace pennacrow {

class TEncryptForm;
class TFlatButton;
class TPictureView;
class TSealCommands;
class TStopRequest;
class TTextMemo;
class TTitledPopupMenu;
class TUserInterface;

class TPennacrowForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TPennacrowForm(TUserInterface& ui, QWidget* parent = nullptr);
  ~TPennacrowForm() override;

  // The encryption dialog the encrypt and read commands open; created once at start-up.
  void SetEncryptForm(TEncryptForm* form) { FEncryptForm = form; }
  // Opens a picture named on the command line as the load button would; a failure is shown.
  void OpenAtStart(const QString& fileName);

  // Commands.
  void FormCreate();
  void EnableDataButtons(bool enabled);
  void FlatButton1Click();  // load picture
  void FlatButton2Click();  // save picture
  void FlatButton3Click();  // help
  void FlatButton4Click();  // read data
  void FlatButton5Click();  // encryption dialog
  void FlatButton6Click();  // write data
  void FlatButton8Click();  // close
  void LoadTextFile1Click();
  void SaveTextDataToFile1Click();
  void ClearTextBox1Click();
  // The fractal menu: paints the kind into the picture and enables the data buttons.
  void PaintFractalMenuItem(TFractalTypes kind);
  // The print menu.
  void PrintAtScale(int percent);
  void PrintPreview1Click();
  void PrinterSetup1Click();
  TPrinterChoice& Printers() { return FPrinters; }

  // Work of the commands.
  void ToolButton1Click();  // capacity in status panel 2
  void DetectDataFormat();
  void ShowDataFormat(std::uint8_t format);
  // The detectability report of the working bitmap, in its own window.
  void AnalysisMenuItemClick();

  // The capacity meter in its strip under the text: bytes the container will take against the
  // capacity.
  void UpdateCapacityMeter();
  QLabel* CapacityMeter = nullptr;
  // The strip's progress line, shown when work off the GUI thread takes a while, with its
  // button that stops work which can stop.
  QWidget* BusyIndicator = nullptr;
  QToolButton* StopButton = nullptr;
  // True while work runs off the GUI thread.
  bool IsBusy() const { return FBusy; }

  // Runs work on a worker thread while the event loop goes on (so the window repaints), with the
  // wait cursor, the conflicting commands disabled and, after half a second, the progress line
  // naming the activity. Returns when the work is done; its exception is rethrown here, on the
  // GUI thread. The work touches no widget and nothing the GUI thread changes meanwhile: it may
  // read what only the disabled commands change, and hands its results out through captures.
  void RunInBackground(const QString& activity, const std::function<void()>& work);
  // The same for work that can stop early: the progress line offers "取消" (Esc too), which asks
  // the work to stop at its next checkpoint. False when it stopped so.
  bool RunStoppable(const QString& activity, const std::function<void(const TStopRequest&)>& work);

  // Sizes and centres the window within a screen's free area, so it opens whole on any screen
  // and at any scale factor.
  void PlaceOnScreen(const QRect& available);
  // Keeps the minimum size within the free area of the screen the window is on, whatever screen
  // it moves to.
  void FollowScreen(const QRect& available);

  // Loads a picture file as the load command does after its dialog (also used for drops).
  void LoadPicture(const QString& fileName);
  // Loads a text file into the memo as the text menu's load does after its dialog.
  void LoadTextFile(const QString& fileName);
  // A container was written into the picture and the picture has not been saved since. The
  // flag goes with the picture: whatever replaces the picture clears it.
  bool HasUnsavedWrite() const { return FUnsavedWrite; }

  // State, for the commands and for tests.
  std::uint8_t DataFormat() const { return FDataFormat; }
  const std::string& BitString() const { return FBitString; }
  const QString& PictureFileName() const { return FPictureFileName; }
  QString StatusPanelText(int index) const;
  TFractalImage& Picture() { return FPicture; }
  TTextMemo* TextData = nullptr;
  TPictureView* StegoImage = nullptr;
  TFlatButton* FlatButton1 = nullptr;
  TFlatButton* FlatButton2 = nullptr;
  TFlatButton* FlatButton4 = nullptr;
  TFlatButton* FlatButton6 = nullptr;
  TFlatButton* FlatButton5 = nullptr;
  TFlatButton* FlatButton9 = nullptr;
  TFlatButton* FlatButton7 = nullptr;
  TFlatButton* FlatButton3 = nullptr;
  TFlatButton* FlatButton8 = nullptr;
  TTitledPopupMenu* TitledPopupMenu1 = nullptr;
  TTitledPopupMenu* TitledPopupMenu2 = nullptr;
  TTitledPopupMenu* ImagePopup = nullptr;
  QAction* StealthWriting = nullptr;  // checked: the write command writes stealthily

 signals:
  void BusyChanged(bool busy);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Drops on the memo: a text file loads, a picture loads as the picture.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TSealCommands;
  // Runs a command that lets its errors reach the default handler: the message is shown in a
  // message box and the rest of the command is skipped. No exception leaves an event handler.
  void Guarded(const std::function<void()>& command);
  void BuildLayout();
  QWidget* BuildProgressLine(QWidget* parent);
  void BuildStatusBar();
  void BuildMenus();
  void SetStatusPanel(int index, const QString& text);
  void PictureChanged();
  // The picture was replaced by a load or a paint: panel 0's outcome belongs to the picture
  // that is gone, the format and capacity panels are the new one's.
  void NewPicture();
  // What a load and a paint share once the new picture is in place: what was said about the old
  // one (its unsaved write, its state before that write) goes with it.
  void PictureReplaced(QImage screen);
  // Before a command replaces the picture: when a write is unsaved, asks whether to save it
  // first. False when the user cancelled, or chose to save and nothing was saved.
  bool ConfirmReplacingPicture();
  // Save and print need a picture.
  void EnablePictureCommands(bool enabled);
  bool RunWork(const QString& activity, const std::function<void(const TStopRequest&)>& work,
               bool stoppable);
  void SetBusy(bool busy, const QString& activity, TStopRequest* stop);
  // What the window draws in colours of its own follows the palette, which a dark theme (or the
  // desktop's colour scheme) may change while the window is open.
  void ApplyPaletteColours();
  // On a window narrower than the designed sizes, the toolbar's buttons and the status panels
  // share what there is instead of hiding behind the toolbar's extension or running off the
  // window.
  void FitToWidth();
  // A status panel's designed width; the maker's panel is wide enough for its text.
  int PanelWidth(int index) const;
  // Saves the picture under a name the user chose; false when nothing was saved.
  bool SavePicture();
  // The save of a keyed write into a JPEG's coefficients: the written file, as a JPEG.
  bool SaveJpegWrite();
  // Handles a dropped file; false when the drop was not a local file.
  bool DropFile(const QMimeData* data, bool onMemo);

  TUserInterface& FUi;
  TEncryptForm* FEncryptForm = nullptr;
  TFractalImage FPicture;
  QString FPictureFileName;
  std::string FBitString;
  std::uint8_t FDataFormat = 1;
  // The ArmouredText the memo held after the last encryption or format 2 read: a write stores
  // format 2 only while the memo still holds exactly this.
  std::optional<std::string> FArmouredText;
  bool FUnsavedWrite = false;
  // After a read that took the low bits of a picture without a container: the memo's text before
  // it. When an undo brings that text back, the read's outcome leaves panel 0 too.
  std::optional<QString> FTextBeforeForcedRead;
  QString FOpenPictureFilter;
  TPrinterChoice FPrinters;
  QLabel* FStatusPanels[4] = {};
  QScrollArea* ScrollBox1 = nullptr;
  QToolBar* ToolBar2 = nullptr;
  QLabel* FBusyLabel = nullptr;
  QTimer* FBusyTimer = nullptr;
  bool FBusy = false;
  TStopRequest* FStop = nullptr;  // the running work's, while it can stop
  QAction* FStopAction = nullptr;
  QSize FDesignMinimum;
  int FStatusOverhead = 0;  // the status bar's width beyond its panels'
  bool FFollowingScreen = false;
  QMetaObject::Connection FScreenConnection;
  // The picture as it was before the last write, for the report's difference map.
  std::unique_ptr<TBitmap> FBeforeWrite;
  // The JPEG file the picture was loaded from, while the picture is as loaded: a keyed write may
  // then go into the file's own coefficients. Empty otherwise.
  std::string FJpegSource;
  // The JPEG file such a write made, until the picture changes: the save writes these bytes, as
  // a JPEG and nothing else, since the picture's pixels hold nothing.
  std::vector<std::uint8_t> FJpegWritten;
};

}  // namespace pennacrow
