#pragma once
// TPennacrowForm: the main window. It holds the picture control, the text memo, the status bar
// and the commands; every rule it applies is a call into the core.

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <string>

#include "app/Printing.h"
#include "picture/FractalImage.h"
#include "picture/FractalTypes.h"

class QLabel;
class QScrollArea;
class QToolBar;
class QMenu;
class QAction;

namespace pennacrow {

class TEncryptForm;
class TFlatButton;
class TPictureView;
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
  void CreateBinaryString();
  void AddBinaryToImage();
  void DetectDataFormat();
  void ShowDataFormat(std::uint8_t format);
  void RemoveBinaryFromImage();
  void RemoveBinaryFromOldImage();

  // The capacity meter under the text: bytes the container will take against the capacity.
  void UpdateCapacityMeter();
  QLabel* CapacityMeter = nullptr;

  // Loads a picture file as the load command does after its dialog (also used for drops).
  void LoadPicture(const QString& fileName);

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

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Runs a command that lets its errors reach the default handler: the message is shown in a
  // message box and the rest of the command is skipped. No exception leaves an event handler.
  void Guarded(const std::function<void()>& command);
  void BuildLayout();
  void BuildMenus();
  void SetStatusPanel(int index, const QString& text);
  void PictureChanged();

  TUserInterface& FUi;
  TEncryptForm* FEncryptForm = nullptr;
  TFractalImage FPicture;
  QString FPictureFileName;
  std::string FBitString;
  std::uint8_t FDataFormat = 1;
  QString FOpenPictureFilter;
  TPrinterChoice FPrinters;
  QLabel* FStatusPanels[4] = {};
  QScrollArea* ScrollBox1 = nullptr;
};

}  // namespace pennacrow
