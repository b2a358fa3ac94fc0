#include "app/PennacrowForm.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/AnalysisForm.h"
#include "app/EncryptForm.h"
#include "app/Glyphs.h"
#include "app/HelpForm.h"
#include "app/Language.h"
#include "app/PictureView.h"
#include "app/SealCommands.h"
#include "app/UserInterface.h"
#include "app/WaitCursor.h"
#include "codec/BinaryUnit.h"
#include "codec/CapacityMeter.h"
#include "codec/Container.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "formats/SaveVerify.h"
#include "picture/Graphic.h"
#include "text/TextFile.h"
#include "text/TextRules.h"

namespace pennacrow {

namespace {

const char* const kPictureSaveFilter =
    N_("位图(*.bmp)|*.bmp|可移植的网络图片(*.png)|*.png|全部文件|*.*");
const char* const kTextFilter = N_("文本文件|*.TXT|全部文件|*.*");
const QColor kBannerColour(99, 148, 198);

// The main window's own questions and notes.
const char* const kReadWithoutContainerQuestion =
    N_("这幅图片里没有找到隐藏的文本。\n\n仍然把图片的最低位当作文本读出来吗？"
       "（读出的多半是乱码；原来的文本可以用 Ctrl+Z 找回。）");
const char* const kUnsavedQuestion = N_("写入了数据的图片还没有保存。\n\n关闭前保存图片吗？");
const char* const kReadFailureTitle = N_("读取数据失败：");
const char* const kWriteFailureTitle = N_("写入数据失败：");

QString SavedNote(const QString& fileName) {
  return QTr(" 图像已保存：") + QFileInfo(fileName).fileName();
}

// The text menu's open and save dialogs.
TFileDialogRequest TextFileRequest(const QString& caption) {
  TFileDialogRequest request;
  request.Caption = caption;
  request.Filter = QTr(kTextFilter);
  request.DefaultExt = "TXT";
  return request;
}

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

TPennacrowForm::TPennacrowForm(TUserInterface& ui, QWidget* parent)
    : QMainWindow(parent), FUi(ui), FPicture(FileFormats()) {
  setWindowTitle(QTr("Pennacrow 2.0 图片隐写工具 - Pennacrow 团队"));
  resize(839, 677);
  setAcceptDrops(true);
  BuildLayout();
  BuildMenus();
  // The open dialog's filter is built once, after every format has registered.
  FOpenPictureFilter = QString::fromStdString(FileFormats().BuildFilter(TGraphic::ClassInfo));
  FormCreate();
}

TPennacrowForm::~TPennacrowForm() = default;

void TPennacrowForm::BuildLayout() {
  auto* toolBar = new QToolBar(this);
  toolBar->setObjectName("ToolBar2");
  toolBar->setMovable(false);
  toolBar->setFixedHeight(59);
  toolBar->setStyleSheet(
      "QToolBar { background: white; border: none; spacing: 0px; padding: 3px 0px; }");
  addToolBar(Qt::TopToolBarArea, toolBar);
  auto addButton = [&](TFlatButton*& field, const char* name, const QString& caption, int glyph) {
    field = new TFlatButton(caption, ToolGlyph(glyph), toolBar);
    field->setObjectName(name);
    toolBar->addWidget(field);
  };
  addButton(FlatButton1, "FlatButton1", QTr("加载图像"), 0);
  addButton(FlatButton2, "FlatButton2", QTr("保存图像"), 1);
  addButton(FlatButton4, "FlatButton4", QTr("读取数据"), 4);
  addButton(FlatButton6, "FlatButton6", QTr("写入数据"), 4);
  addButton(FlatButton5, "FlatButton5", QTr("加密"), 5);
  addButton(FlatButton9, "FlatButton9", QTr("解密"), 5);
  addButton(FlatButton7, "FlatButton7", QTr("打印图像"), 3);
  addButton(FlatButton3, "FlatButton3", QTr("帮助"), 7);
  addButton(FlatButton8, "FlatButton8", QTr("关闭"), 6);
  // The data buttons wait for the first picture.
  EnableDataButtons(false);
  connect(FlatButton1, &QToolButton::clicked, this,
          [this] { Guarded([this] { FlatButton1Click(); }); });
  connect(FlatButton2, &QToolButton::clicked, this,
          [this] { Guarded([this] { FlatButton2Click(); }); });
  connect(FlatButton4, &QToolButton::clicked, this,
          [this] { Guarded([this] { FlatButton4Click(); }); });
  connect(FlatButton6, &QToolButton::clicked, this,
          [this] { Guarded([this] { FlatButton6Click(); }); });
  connect(FlatButton5, &QToolButton::clicked, this,
          [this] { Guarded([this] { FlatButton5Click(); }); });
  // "解密" has no handler of its own: decryption happens inside the encryption dialog.
  connect(FlatButton9, &QToolButton::clicked, this,
          [this] { Guarded([this] { FlatButton5Click(); }); });
  connect(FlatButton3, &QToolButton::clicked, this,
          [this] { Guarded([this] { FlatButton3Click(); }); });
  connect(FlatButton8, &QToolButton::clicked, this, [this] { FlatButton8Click(); });

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* banner = new QLabel(QTr("Pennacrow 创建／查看数据"), central);
  banner->setObjectName("Panel2");
  banner->setFixedHeight(27);
  banner->setAlignment(Qt::AlignCenter);
  banner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  banner->setStyleSheet(
      QString("QLabel { background: %1; color: white; font-weight: bold; font-size: 14px; }")
          .arg(kBannerColour.name()));
  column->addWidget(banner);

  ScrollBox1 = new QScrollArea(central);
  ScrollBox1->setObjectName("ScrollBox1");
  ScrollBox1->setWidgetResizable(true);
  ScrollBox1->setFrameShape(QFrame::NoFrame);
  ScrollBox1->setStyleSheet("QScrollArea { background: white; }");
  StegoImage = new TPictureView(FPicture, ScrollBox1);
  StegoImage->setObjectName("StegoImage");
  ScrollBox1->setWidget(StegoImage);
  column->addWidget(ScrollBox1, 1);

  auto* panel1 = new QWidget(central);
  panel1->setObjectName("Panel1");
  panel1->setFixedHeight(141);
  auto* panelLayout = new QHBoxLayout(panel1);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  TextData = new TTextMemo(panel1);
  TextData->setObjectName("TextData");
  // The memo would take a dropped file as the text of its path.
  TextData->installEventFilter(this);
  TextData->viewport()->installEventFilter(this);
  panelLayout->addWidget(TextData);
  // The meter sits in the text panel's bottom right corner, over the memo.
  CapacityMeter = new QLabel(panel1);
  CapacityMeter->setObjectName("CapacityMeter");
  CapacityMeter->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* meterLayout = new QVBoxLayout(TextData->viewport());
  meterLayout->setContentsMargins(0, 0, 4, 2);
  meterLayout->addStretch(1);
  meterLayout->addWidget(CapacityMeter, 0, Qt::AlignRight | Qt::AlignBottom);
  // Typing updates the meter once per pass of the event loop, however many edits it holds.
  auto* meterTimer = new QTimer(this);
  meterTimer->setSingleShot(true);
  meterTimer->setInterval(0);
  connect(meterTimer, &QTimer::timeout, this, [this] { UpdateCapacityMeter(); });
  connect(TextData, &QPlainTextEdit::textChanged, meterTimer, qOverload<>(&QTimer::start));
  column->addWidget(panel1);
  setCentralWidget(central);

  QStatusBar* status = statusBar();
  status->setObjectName("StatusBar1");
  status->setSizeGripEnabled(false);
  status->setFixedHeight(17 + 4);
  const int widths[4] = {250, 250, 200, 100};
  for (int i = 0; i < 4; ++i) {
    FStatusPanels[i] = new QLabel(status);
    FStatusPanels[i]->setFixedWidth(widths[i]);
    FStatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->addWidget(FStatusPanels[i]);
  }
  FStatusPanels[3]->setText(QTr("Pennacrow 团队"));
}

void TPennacrowForm::BuildMenus() {
  TitledPopupMenu1 = new TTitledPopupMenu(QTr("文本"), this);
  TitledPopupMenu1->setObjectName("TitledPopupMenu1");
  QAction* loadText = TitledPopupMenu1->addAction(QTr("加载文本文件"));
  loadText->setObjectName("LoadTextFile1");
  connect(loadText, &QAction::triggered, this,
          [this] { Guarded([this] { LoadTextFile1Click(); }); });
  QAction* saveText = TitledPopupMenu1->addAction(QTr("保存此文本为文件"));
  saveText->setObjectName("SaveTextDataToFile1");
  connect(saveText, &QAction::triggered, this,
          [this] { Guarded([this] { SaveTextDataToFile1Click(); }); });
  TitledPopupMenu1->addSeparator()->setObjectName("N1");
  QAction* clear = TitledPopupMenu1->addAction(QTr("清理文本框!"));
  clear->setObjectName("ClearTextBox1");
  connect(clear, &QAction::triggered, this, [this] { Guarded([this] { ClearTextBox1Click(); }); });
  TextData->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(TextData, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { TitledPopupMenu1->popup(TextData->mapToGlobal(at)); });

  TitledPopupMenu2 = new TTitledPopupMenu(QTr("打印图像"), this);
  TitledPopupMenu2->setObjectName("TitledPopupMenu2");
  // The print button has no click handler of its own: it drops the print menu down under
  // itself.
  struct TPrintItem {
    const char* Name;
    const char* Caption;
    int Percent;
  };
  for (const TPrintItem& item : {TPrintItem{"PrintAt251", N_("以 25% 比例打印"), 25},
                                 TPrintItem{"PrintAt501", N_("以 50% 比例打印"), 50},
                                 TPrintItem{"PrintAt751", N_("以 75% 比例打印"), 75},
                                 TPrintItem{"PrintAt1001", N_("以 100% 比例打印"), 100}}) {
    QAction* action = TitledPopupMenu2->addAction(QTr(item.Caption));
    action->setObjectName(item.Name);
    const int percent = item.Percent;
    connect(action, &QAction::triggered, this,
            [this, percent] { Guarded([this, percent] { PrintAtScale(percent); }); });
  }
  QAction* preview = TitledPopupMenu2->addAction(QTr(kPrintPreviewCaption));
  preview->setObjectName("PrintPreview1");
  connect(preview, &QAction::triggered, this,
          [this] { Guarded([this] { PrintPreview1Click(); }); });
  TitledPopupMenu2->addSeparator()->setObjectName("N2");
  QAction* setup = TitledPopupMenu2->addAction(QTr("配置打印机"));
  setup->setObjectName("PrinterSetup1");
  connect(setup, &QAction::triggered, this, [this] { Guarded([this] { PrinterSetup1Click(); }); });
  TSealCommands::AddWriteMenu(*this);
  connect(FlatButton7, &QToolButton::pressed, this, [this] {
    TitledPopupMenu2->popup(FlatButton7->mapToGlobal(QPoint(0, FlatButton7->height())));
  });

  ImagePopup = new TTitledPopupMenu(QTr(FractalMenuTitle), this);
  ImagePopup->setObjectName("ImagePopup");
  for (const TFractalMenuItem& item : FractalMenuItems) {
    QAction* action = ImagePopup->addAction(QTr(item.Caption));
    action->setObjectName(item.Name);
    const TFractalTypes kind = item.FractalType;
    connect(action, &QAction::triggered, this,
            [this, kind] { Guarded([this, kind] { PaintFractalMenuItem(kind); }); });
  }
  ImagePopup->addSeparator();
  QAction* analysis = ImagePopup->addAction(QTr("检测风险"));
  analysis->setObjectName("AnalysisMenuItem");
  connect(analysis, &QAction::triggered, this,
          [this] { Guarded([this] { AnalysisMenuItemClick(); }); });
  StealthWriting = ImagePopup->addAction(QTr("隐蔽写入"));
  StealthWriting->setObjectName("StealthWriting");
  StealthWriting->setCheckable(true);
  StegoImage->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(StegoImage, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ImagePopup->popup(StegoImage->mapToGlobal(at)); });
}

void TPennacrowForm::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& e) {
    FUi.ShowMessage(this, QString::fromUtf8(e.what()));
  } catch (...) {
    FUi.ShowMessage(this, QTr("未知错误"));
  }
}

void TPennacrowForm::FormCreate() {
  FDataFormat = kFormatPlain;
}

void TPennacrowForm::EnableDataButtons(bool enabled) {
  FlatButton4->setEnabled(enabled);
  FlatButton5->setEnabled(enabled);
  FlatButton6->setEnabled(enabled);
  FlatButton9->setEnabled(enabled);
}

QString TPennacrowForm::StatusPanelText(int index) const {
  return index >= 0 && index < 4 ? FStatusPanels[index]->text() : QString();
}

void TPennacrowForm::SetStatusPanel(int index, const QString& text) {
  FStatusPanels[index]->setText(text);
}

void TPennacrowForm::PictureChanged() {
  StegoImage->PictureChanged();
  UpdateCapacityMeter();
}

void TPennacrowForm::UpdateCapacityMeter() {
  const TCapacityUse use = MeasureCapacityUse(TextData->Text().size(), FPicture.PictureWidth(),
                                              FPicture.PictureHeight());
  CapacityMeter->setText(QString::fromStdString(CapacityUseText(use)));
  CapacityMeter->setStyleSheet(use.Fits ? "QLabel { color: #606060; background: transparent; }"
                                        : "QLabel { color: #d00000; background: transparent; }");
}

void TPennacrowForm::FlatButton1Click() {
  TFileDialogRequest request;
  request.Caption = QTr("打开");
  request.Filter = FOpenPictureFilter;
  request.PicturePreview = true;
  const std::optional<QString> chosen = FUi.OpenFile(this, request);
  if (!chosen) return;
  LoadPicture(*chosen);
}

void TPennacrowForm::OpenAtStart(const QString& fileName) {
  Guarded([this, &fileName] { LoadPicture(fileName); });
}

void TPennacrowForm::LoadPicture(const QString& fileName) {
  FPictureFileName = fileName;
  FPicture.LoadPictureFile(fileName.toStdString());
  FUnsavedWrite = false;
  FBeforeWrite.reset();
  PictureChanged();
  ToolButton1Click();
  DetectDataFormat();
  EnableDataButtons(true);
}

void TPennacrowForm::FlatButton2Click() {
  SavePicture();
}

bool TPennacrowForm::SavePicture() {
  TFileDialogRequest request;
  request.Caption = QTr("另存为");
  request.Filter = QTr(kPictureSaveFilter);
  request.DefaultExt = "BMP";
  request.FileName = FPictureFileName;
  int filter = 0;
  const std::optional<QString> chosen = FUi.SaveFile(this, request, &filter);
  if (!chosen) return false;
  const std::string fileName = WithSaveExtension(chosen->toStdString(), filter);
  if (SaveKindFor(fileName) == TSaveKind::None) {
    FUi.ShowMessage(this, QString::fromStdString(UnsavableExtensionMessage(fileName)));
    return false;
  }
  const QString savedName = QString::fromStdString(fileName);
  FPictureFileName = savedName;
  bool lossAccepted = false;
  if (SaveKindFor(fileName) == TSaveKind::Png && FPicture.HasPicture() &&
      PngSaveLosesContainer(FPicture.PictureBitmap())) {
    if (!FUi.Confirm(this, QString::fromStdString(PngLossWarning(FPicture.PictureBitmap()))))
      return false;
    lossAccepted = true;
  }
  SavePictureFile(FPicture, fileName);
  FUnsavedWrite = false;
  SetStatusPanel(0, SavedNote(savedName));
  if (lossAccepted) return true;
  // Read the file back: a saved picture that no longer gives the text back is told at once.
  const std::string problem =
      VerifySavedContainer(FPicture.PictureBitmap(), fileName, FileFormats());
  if (!problem.empty()) FUi.ShowMessage(this, QString::fromStdString(problem));
  return true;
}

void TPennacrowForm::FlatButton3Click() {
  // A fresh window for every showing, so the guide starts at its top; freed when it closes.
  THelpForm helpForm(this);
  helpForm.exec();
}

void TPennacrowForm::FlatButton8Click() {
  close();
}

void TPennacrowForm::closeEvent(QCloseEvent* event) {
  if (FUnsavedWrite) {
    bool keepOpen = true;
    switch (FUi.AskUnsaved(this, QTr(kUnsavedQuestion))) {
      case TUnsavedAnswer::Save:
        Guarded([this, &keepOpen] { keepOpen = !SavePicture(); });
        break;
      case TUnsavedAnswer::Discard:
        keepOpen = false;
        break;
      case TUnsavedAnswer::Cancel:
        break;
    }
    if (keepOpen) {
      event->ignore();
      return;
    }
  }
  QMainWindow::closeEvent(event);
}

void TPennacrowForm::LoadTextFile1Click() {
  const TFileDialogRequest request = TextFileRequest(QTr("打开"));
  const std::optional<QString> chosen = FUi.OpenFile(this, request);
  if (!chosen) return;
  LoadTextFile(*chosen);
}

void TPennacrowForm::LoadTextFile(const QString& fileName) {
  ReplaceMemoText(*TextData, TextFileToPayload(ReadTextFile(fileName.toStdString())));
}

void TPennacrowForm::SaveTextDataToFile1Click() {
  const TFileDialogRequest request = TextFileRequest(QTr("另存为"));
  const std::optional<QString> chosen = FUi.SaveFile(this, request, nullptr);
  if (!chosen) return;
  // The memo may hold a decrypted text: a new file is for its owner's eyes only.
  TWriteOptions options;
  options.NewFileMode = 0600;
  WriteFileAtomically(chosen->toStdString(), AsBytes(PayloadToTextFile(TextData->Text())), options);
}

void TPennacrowForm::ClearTextBox1Click() {
  ReplaceMemoText(*TextData, {});
}

void TPennacrowForm::ToolButton1Click() {
  SetStatusPanel(
      2, QString::fromStdString(CapacityText(FPicture.PictureWidth(), FPicture.PictureHeight())));
}

void TPennacrowForm::AnalysisMenuItemClick() {
  if (!FPicture.HasPicture()) return;
  auto* form = new TAnalysisForm(this);
  form->setAttribute(Qt::WA_DeleteOnClose);
  const QString title = FPictureFileName.isEmpty() ? windowTitle() : FPictureFileName;
  {
    TWaitCursor wait;  // a photograph takes a moment
    form->ShowReport(FPicture.PictureBitmap(), FBeforeWrite.get(), title);
  }
  form->show();
}

void TPennacrowForm::FlatButton6Click() {
  const std::string text = TextData->Text();
  FDataFormat = FormatForMemoText(text, FArmouredText);
  try {
    THideOptions hide{text, FDataFormat};
    if (StealthWriting->isChecked()) hide.Writing = TLowBitWriting::Stealth;
    // The picture as it was, for the report's map of the bytes this write changes.
    auto before = std::make_unique<TBitmap>();
    before->Assign(FPicture.PictureBitmap());
    FBitString = HideText(FPicture.PictureBitmap(), hide);
    FBeforeWrite = std::move(before);
    PictureChanged();
    DetectDataFormat();
    SetStatusPanel(0, QTr(kWriteSucceeded));
    FUnsavedWrite = true;
  } catch (const std::exception& e) {
    PictureChanged();
    SetStatusPanel(0, QTr(kWriteFailed));
    FUi.ShowMessage(this, QTr(kWriteFailureTitle) + "\n" + QString::fromUtf8(e.what()));
  }
}

void TPennacrowForm::DetectDataFormat() {
  FDataFormat = ::pennacrow::DetectDataFormat(FPicture.PictureOrNull());
  ShowDataFormat(FDataFormat);
}

void TPennacrowForm::ShowDataFormat(std::uint8_t format) {
  SetStatusPanel(1, QTr(DataFormatText(format).c_str()));
}

void TPennacrowForm::FlatButton4Click() {
  const TBitmap* bitmap = FPicture.PictureOrNull();
  const std::uint8_t probed = ::pennacrow::DetectDataFormat(bitmap);
  if (probed == kFormatSealed) return TSealCommands(*this).ReadSealedData();
  const bool found = HoldsContainer(probed);
  // Low bits that hold no container read as junk that would take the memo's place.
  if (bitmap != nullptr && !found && !FUi.AskYesNo(this, QTr(kReadWithoutContainerQuestion)))
    return;
  try {
    if (bitmap == nullptr) throw ENoHiddenText();
    const THiddenText hidden = ReadHiddenText(*bitmap, !found);
    FDataFormat = hidden.Format;
    FBitString = hidden.Text;
    ReplaceMemoText(*TextData, FBitString);
    if (FDataFormat == kFormatEncrypted) {
      FArmouredText = TextData->Text();
      FlatButton5Click();
    }
    SetStatusPanel(0, QTr(kReadSucceeded));
  } catch (const std::exception& e) {
    SetStatusPanel(0, QTr(kReadFailed));
    FUi.ShowMessage(this, QTr(kReadFailureTitle) + "\n" + QString::fromUtf8(e.what()));
  }
}

void TPennacrowForm::FlatButton5Click() {
  if (FEncryptForm == nullptr) return;
  FEncryptForm->SetText(TextData->Text());
  FEncryptForm->exec();
  const std::string result = FEncryptForm->Text();
  if (result != TextData->Text()) ReplaceMemoText(*TextData, result);
  if (const std::optional<std::string> armoured = FEncryptForm->EncryptedText()) {
    FArmouredText = armoured;
  }
  FDataFormat = FormatForMemoText(TextData->Text(), FArmouredText);
}

void TPennacrowForm::PaintFractalMenuItem(TFractalTypes kind) {
  FPicture.FractalProperties.ChangeFractalType(kind);
  FBeforeWrite.reset();
  {
    TWaitCursor wait;
    try {
      FPicture.PaintFractal();
    } catch (...) {
      PictureChanged();
      throw;
    }
  }
  PictureChanged();
  EnableDataButtons(true);
  // The new picture's capacity, so that panel 2 never shows the figure of a picture that is
  // gone.
  ToolButton1Click();
}

void TPennacrowForm::PrintAtScale(int percent) {
  if (!FPicture.HasPicture() || FPicture.PictureBitmap().Empty()) return;
  QPrinter& printer = FPrinters.Current();
  PrintImageAtScale(printer, FPicture, percent);
  // A printer that writes a file shows nothing coming out: say where the page went.
  if (const QString where = PrintedToFileMessage(printer); !where.isEmpty()) {
    FUi.ShowMessage(this, where);
  }
}

void TPennacrowForm::PrintPreview1Click() {
  // The printer the set-up dialog chose, or a file printer when the machine has none, so the
  // preview shows that printer's page.
  MakePrintPreview(FPrinters.ForSetup(), FPicture, 100, this)->exec();
}

void TPennacrowForm::PrinterSetup1Click() {
  MakePrinterSetupDialog(FPrinters.ForSetup(), this)->exec();
}

void TPennacrowForm::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TPennacrowForm::dropEvent(QDropEvent* event) {
  if (DropFile(event->mimeData(), false)) event->acceptProposedAction();
}

bool TPennacrowForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TextData || watched == TextData->viewport()) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData()->hasUrls()) {
        drag->acceptProposedAction();
        return true;
      }
    } else if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      if (DropFile(drop->mimeData(), true)) {
        drop->acceptProposedAction();
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TPennacrowForm::DropFile(const QMimeData* data, bool onMemo) {
  const QList<QUrl> urls = data->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return false;
  const QString fileName = urls.first().toLocalFile();
  if (onMemo && QFileInfo(fileName).suffix().compare("txt", Qt::CaseInsensitive) == 0) {
    Guarded([this, fileName] { LoadTextFile(fileName); });
  } else {
    Guarded([this, fileName] { LoadPicture(fileName); });
  }
  return true;
}

}  // namespace pennacrow
