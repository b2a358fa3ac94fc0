#include "app/PennacrowForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <exception>
#include <thread>

#include "adaptive/AdaptiveJpeg.h"
#include "app/AnalysisForm.h"
#include "app/BitmapImage.h"
#include "app/EncryptForm.h"
#include "app/Glyphs.h"
#include "app/HelpForm.h"
#include "app/Language.h"
#include "app/PictureView.h"
#include "app/SealCommands.h"
#include "app/StopRequest.h"
#include "app/UserInterface.h"
#include "app/WaitCursor.h"
#include "base/FileIO.h"
#include "codec/BinaryUnit.h"
#include "codec/CapacityMeter.h"
#include "codec/Container.h"
#include "codec/ContainerSave.h"
#include "controls/Contrast.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/Graphic.h"
#include "text/TextFile.h"
#include "text/TextRules.h"

namespace pennacrow {

namespace {

const char* const kPictureSaveFilter =
    N_("位图(*.bmp)|*.bmp|可移植的网络图片(*.png)|*.png|全部文件|*.*");
const char* const kJpegSaveFilter = N_("JPEG 图像(*.jpg)|*.jpg;*.jpeg");
const char* const kJpegOnlyMessage =
    N_("内容写在 JPEG 自己的系数里，这幅图片只能保存为 JPEG 文件（.jpg）");
const char* const kTextFilter = N_("文本文件|*.TXT|全部文件|*.*");
const QColor kBannerColour(99, 148, 198);

// The main window's own questions and notes.
const char* const kReadWithoutContainerQuestion =
    N_("这幅图片里没有找到隐藏的文本。用密钥自适应写入的内容看不出来：要读它，请右键单击"
       "“读取数据”，选“凭密码读取…”。\n\n仍然把图片的最低位当作文本读出来吗？"
       "（读出的多半是乱码；原来的文本可以用 Ctrl+Z 找回。）");
const char* const kUnsavedQuestion = N_("写入了数据的图片还没有保存。\n\n关闭前保存图片吗？");
const char* const kReplaceUnsavedQuestion =
    N_("写入了数据的图片还没有保存。\n\n换成另一幅图片之前保存它吗？");
// Panel 0 after a read of low bits that hold no container: the user asked for it, but nothing
// hidden was found.
const char* const kForcedReadDone = N_(" 已读出最低位（没有隐藏文本）");
// The report's heading for a picture that differs from its file.
const char* const kUnsavedPictureTitle = N_("%1（写入数据后尚未保存）");
const char* const kReadFailureTitle = N_("读取数据失败：");
const char* const kWriteFailureTitle = N_("写入数据失败：");

// What the progress indication says while a command works off the GUI thread.
const char* const kLoadingActivity = N_("正在加载图像…");
const char* const kSavingActivity = N_("正在保存图像…");
const char* const kPaintingActivity = N_("正在绘制图形…");
const char* const kAnalysingActivity = N_("正在检测风险…");
const char* const kStopCaption = N_("取消");
const char* const kStopping = N_("正在停止…");
// A command that has not finished after this long shows its progress indication.
constexpr int kProgressDelayMs = 500;

constexpr int kToolButtonWidth = 80;
constexpr int kPanelWidths[4] = {250, 250, 200, 100};
// Room for the window manager's frame, which a window learns of only once it is shown.
const QSize kFrameAllowance(16, 40);

// The toolbar, left to right: each button's key (shown in its tooltip) and what a screen reader
// says about it. The keys keep clear of the memo's own editing keys (Ctrl+D, Ctrl+E, Ctrl+K and
// Ctrl+U on X11), so nothing typed in the memo starts a command.
// A click runs the button's command as every command runs (see Guarded).
struct TToolButton {
  TFlatButton* TPennacrowForm::*Field;
  const char* Name;
  const char* Caption;
  int Glyph;
  const char* Key;
  const char* Description;
  void (TPennacrowForm::*Click)();
};
const TToolButton kToolButtons[] = {
    {&TPennacrowForm::FlatButton1, "FlatButton1", N_("加载图像"), 0, "Ctrl+O",
     N_("打开一幅图片作为载体"), &TPennacrowForm::FlatButton1Click},
    {&TPennacrowForm::FlatButton2, "FlatButton2", N_("保存图像"), 1, "Ctrl+S",
     N_("把图片保存为 BMP 或 PNG 文件"), &TPennacrowForm::FlatButton2Click},
    {&TPennacrowForm::FlatButton4, "FlatButton4", N_("读取数据"), 4, "Ctrl+R",
     N_("把图片里隐藏的文本读到文本框"), &TPennacrowForm::FlatButton4Click},
    {&TPennacrowForm::FlatButton6, "FlatButton6", N_("写入数据"), 4, "Ctrl+M",
     N_("把文本框里的文本隐藏到图片里"), &TPennacrowForm::FlatButton6Click},
    {&TPennacrowForm::FlatButton5, "FlatButton5", N_("加密"), 5, "Ctrl+L",
     N_("用密码加密文本框里的文本"), &TPennacrowForm::FlatButton5Click},
    // "解密" has no handler of its own: decryption happens inside the encryption dialog.
    {&TPennacrowForm::FlatButton9, "FlatButton9", N_("解密"), 5, "Ctrl+Shift+L",
     N_("用密码解密文本框里的文本"), &TPennacrowForm::FlatButton5Click},
    // No click handler: the button drops the print menu down (see BuildPrintMenu).
    {&TPennacrowForm::FlatButton7, "FlatButton7", N_("打印图像"), 3, "Ctrl+P",
     N_("按所选比例打印图片"), nullptr},
    {&TPennacrowForm::FlatButton3, "FlatButton3", N_("帮助"), 7, "F1", N_("打开使用说明"),
     &TPennacrowForm::FlatButton3Click},
    {&TPennacrowForm::FlatButton8, "FlatButton8", N_("关闭"), 6, "Ctrl+Q", N_("关闭程序"),
     &TPennacrowForm::FlatButton8Click},
};
const char* const kMemoName = N_("文本");
const char* const kPictureName = N_("图片");
const char* const kPictureDescription =
    N_("载体图片。右键单击可绘制分形图、检测风险或选择隐蔽写入");
const char* const kMemoDescription =
    N_("要隐藏或读出的文本。Tab 键移到下一个控件，Ctrl+Tab 输入制表符");

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

// The name itself when nothing is there, else the first free "name (2).ext", "name (3).ext"...
// beside it. A link counts as taken even when it leads nowhere: writing it would create its
// target.
QString FreeFileName(const QString& fileName) {
  const auto taken = [](const QString& name) {
    const QFileInfo info(name);
    return info.exists() || info.isSymLink();
  };
  if (!taken(fileName)) return fileName;
  const QFileInfo info(fileName);
  const QString stem = info.completeBaseName();
  const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
  for (int n = 2;; ++n) {
    const QString candidate =
        info.dir().filePath(QString("%1 (%2)%3").arg(stem).arg(n).arg(suffix));
    if (!taken(candidate)) return candidate;
  }
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
  BuildToolBar();
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(BuildBanner(central));
  column->addWidget(BuildPictureArea(central), 1);
  column->addWidget(BuildMemoPanel(central));
  column->addWidget(BuildMeterStrip(central));
  connect(TextData, &QPlainTextEdit::textChanged, this, [this] {
    if (FTextBeforeForcedRead && TextData->toPlainText() == *FTextBeforeForcedRead) {
      FTextBeforeForcedRead.reset();
      if (StatusPanelText(0) == QTr(kForcedReadDone)) SetStatusPanel(0, {});
    }
  });
  setCentralWidget(central);
  BuildStatusBar();
}

void TPennacrowForm::BuildToolBar() {
  ToolBar2 = new QToolBar(this);
  QToolBar* toolBar = ToolBar2;
  toolBar->setObjectName("ToolBar2");
  toolBar->setMovable(false);
  toolBar->setFixedHeight(59);
  addToolBar(Qt::TopToolBarArea, toolBar);
  for (const TToolButton& entry : kToolButtons) {
    auto* button = new TFlatButton(QTr(entry.Caption), ToolGlyph(entry.Glyph), toolBar);
    button->setObjectName(entry.Name);
    const QKeySequence key(QString::fromLatin1(entry.Key));
    button->setShortcut(key);
    button->setToolTip(
        QString("%1 (%2)").arg(button->text(), key.toString(QKeySequence::NativeText)));
    button->setAccessibleDescription(QTr(entry.Description));
    toolBar->addWidget(button);
    this->*entry.Field = button;
    if (const auto click = entry.Click) {
      connect(button, &QToolButton::clicked, this,
              [this, click] { Guarded([this, click] { (this->*click)(); }); });
    }
  }
  // The data buttons wait for the first picture, and so do saving and printing it.
  EnableDataButtons(false);
  EnablePictureCommands(false);
}

QWidget* TPennacrowForm::BuildBanner(QWidget* parent) {
  auto* banner = new QLabel(QTr("Pennacrow 创建／查看数据"), parent);
  banner->setObjectName("Panel2");
  banner->setFixedHeight(27);
  banner->setAlignment(Qt::AlignCenter);
  banner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  banner->setStyleSheet(
      QString("QLabel { background: %1; color: white; font-weight: bold; font-size: 14px; }")
          .arg(kBannerColour.name()));
  return banner;
}

QWidget* TPennacrowForm::BuildPictureArea(QWidget* parent) {
  ScrollBox1 = new QScrollArea(parent);
  ScrollBox1->setObjectName("ScrollBox1");
  ScrollBox1->setWidgetResizable(true);
  ScrollBox1->setFrameShape(QFrame::NoFrame);
  // The picture is shown cut, never scrolled: nothing here for the keyboard to stop at.
  ScrollBox1->setFocusPolicy(Qt::NoFocus);
  StegoImage = new TPictureView(FPicture, ScrollBox1);
  StegoImage->setObjectName("StegoImage");
  StegoImage->setAccessibleName(QTr(kPictureName));
  StegoImage->setAccessibleDescription(QTr(kPictureDescription));
  ScrollBox1->setWidget(StegoImage);
  return ScrollBox1;
}

QWidget* TPennacrowForm::BuildMemoPanel(QWidget* parent) {
  auto* panel1 = new QWidget(parent);
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
  TextData->setAccessibleName(QTr(kMemoName));
  TextData->setAccessibleDescription(QTr(kMemoDescription));
  return panel1;
}

// A strip of its own under the text: the capacity meter on the right, where it never covers what
// is typed, and the progress of a long command on the left.
QWidget* TPennacrowForm::BuildMeterStrip(QWidget* parent) {
  auto* strip = new QWidget(parent);
  strip->setObjectName("MeterStrip");
  auto* stripLayout = new QHBoxLayout(strip);
  stripLayout->setContentsMargins(4, 1, 4, 1);
  stripLayout->addWidget(BuildProgressLine(strip));
  stripLayout->addStretch(1);
  CapacityMeter = new QLabel(strip);
  CapacityMeter->setObjectName("CapacityMeter");
  stripLayout->addWidget(CapacityMeter);
  strip->setFixedHeight(fontMetrics().height() + 6);
  // Typing updates the meter once per pass of the event loop, however many edits it holds.
  auto* meterTimer = new QTimer(this);
  meterTimer->setSingleShot(true);
  meterTimer->setInterval(0);
  connect(meterTimer, &QTimer::timeout, this, [this] { UpdateCapacityMeter(); });
  connect(TextData, &QPlainTextEdit::textChanged, meterTimer, qOverload<>(&QTimer::start));
  return strip;
}

QWidget* TPennacrowForm::BuildProgressLine(QWidget* parent) {
  BusyIndicator = new QWidget(parent);
  BusyIndicator->setObjectName("BusyIndicator");
  auto* busyLayout = new QHBoxLayout(BusyIndicator);
  busyLayout->setContentsMargins(0, 0, 0, 0);
  FBusyLabel = new QLabel(BusyIndicator);
  auto* busyBar = new QProgressBar(BusyIndicator);
  busyBar->setRange(0, 0);  // no measure of the work: a bar that only moves
  busyBar->setTextVisible(false);
  busyBar->setFixedWidth(160);
  // Flat, so that it fits the strip's height.
  StopButton = new QToolButton(BusyIndicator);
  StopButton->setObjectName("StopButton");
  StopButton->setText(QTr(kStopCaption));
  StopButton->setToolTip(QTr(kStopCaption) + " (Esc)");
  StopButton->setAutoRaise(true);
  busyLayout->addWidget(FBusyLabel);
  busyLayout->addWidget(busyBar);
  busyLayout->addWidget(StopButton);
  FStopAction = new QAction(this);
  FStopAction->setObjectName("StopAction");
  FStopAction->setShortcut(Qt::Key_Escape);
  FStopAction->setEnabled(false);
  addAction(FStopAction);
  const auto stop = [this] {
    if (FStop == nullptr) return;
    FStop->Request();
    FBusyLabel->setText(QTr(kStopping));
    StopButton->setEnabled(false);
  };
  connect(StopButton, &QToolButton::clicked, this, stop);
  connect(FStopAction, &QAction::triggered, this, stop);
  BusyIndicator->hide();
  FBusyTimer = new QTimer(this);
  FBusyTimer->setSingleShot(true);
  FBusyTimer->setInterval(kProgressDelayMs);
  connect(FBusyTimer, &QTimer::timeout, BusyIndicator, &QWidget::show);
  return BusyIndicator;
}

void TPennacrowForm::BuildStatusBar() {
  QStatusBar* status = statusBar();
  status->setObjectName("StatusBar1");
  status->setSizeGripEnabled(false);
  status->setFixedHeight(17 + 4);
  for (int i = 0; i < 4; ++i) {
    FStatusPanels[i] = new QLabel(status);
    FStatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->addWidget(FStatusPanels[i]);
  }
  FStatusPanels[3]->setText(QTr("Pennacrow 团队"));
  for (int i = 0; i < 4; ++i) FStatusPanels[i]->setFixedWidth(PanelWidth(i));
  // The status bar lays its panels out lazily; its size is only known once that is done.
  if (status->layout() != nullptr) status->layout()->activate();
  FStatusOverhead = status->sizeHint().width();
  for (int i = 0; i < 4; ++i) FStatusOverhead -= PanelWidth(i);
  ApplyPaletteColours();
  // Below this size the panels would be pushed over one another, and the toolbar's buttons out
  // of the window; a smaller screen gets less (see FollowScreen), and FitToWidth shares it out.
  const int toolBarWidth = static_cast<int>(std::size(kToolButtons)) * kToolButtonWidth;
  FDesignMinimum =
      minimumSizeHint().expandedTo(QSize(std::max(toolBarWidth, status->sizeHint().width()), 0));
  setMinimumSize(FDesignMinimum);
}

int TPennacrowForm::PanelWidth(int index) const {
  // The maker's panel holds a fixed text, which no language may cut.
  if (index == 3) {
    const QLabel* panel = FStatusPanels[3];
    const int text = panel->fontMetrics().horizontalAdvance(panel->text()) +
                     2 * panel->frameWidth() + 2 * panel->margin() + 8;
    return std::max(kPanelWidths[3], text);
  }
  return kPanelWidths[index];
}

void TPennacrowForm::FitToWidth() {
  int narrowest = 40;
  for (const TToolButton& entry : kToolButtons) {
    const TFlatButton* button = this->*entry.Field;
    narrowest = std::max(narrowest, button->fontMetrics().horizontalAdvance(button->text()) + 6);
  }
  const int count = static_cast<int>(std::size(kToolButtons));
  const int share = std::clamp(width() / count, narrowest, kToolButtonWidth);
  for (const TToolButton& entry : kToolButtons) (this->*entry.Field)->setFixedWidth(share);
  // Panels 0 to 2 give up room in proportion; the maker's panel keeps its text whole.
  const int room = width() - FStatusOverhead - PanelWidth(3);
  const int designed = kPanelWidths[0] + kPanelWidths[1] + kPanelWidths[2];
  for (int i = 0; i < 3; ++i) {
    const int shared = room >= designed ? kPanelWidths[i] : kPanelWidths[i] * room / designed;
    FStatusPanels[i]->setFixedWidth(std::max(shared, 8));
  }
  FStatusPanels[3]->setFixedWidth(PanelWidth(3));
}

void TPennacrowForm::FollowScreen(const QRect& available) {
  const QSize room = (available.size() - kFrameAllowance).expandedTo(QSize(1, 1));
  setMinimumSize(FDesignMinimum.boundedTo(room));
}

void TPennacrowForm::PlaceOnScreen(const QRect& available) {
  FollowScreen(available);
  const QSize room = (available.size() - kFrameAllowance).expandedTo(QSize(1, 1));
  resize(QSize(839, 677).boundedTo(room));
  const QSize outer = size() + kFrameAllowance;
  move(available.x() + std::max(0, (available.width() - outer.width()) / 2),
       available.y() + std::max(0, (available.height() - outer.height()) / 2));
}

// One entry of a menu, in the order shown: its object name, its caption (untranslated) and the
// command it runs as every command runs (see Guarded). An entry without a caption is a
// separator.
struct TPennacrowForm::TMenuEntry {
  const char* Name;
  const char* Caption;
  std::function<void()> Command;
};

void TPennacrowForm::AddMenuEntries(QMenu* menu, const std::vector<TMenuEntry>& entries) {
  for (const TMenuEntry& entry : entries) {
    if (entry.Caption == nullptr) {
      QAction* separator = menu->addSeparator();
      if (entry.Name != nullptr) separator->setObjectName(entry.Name);
      continue;
    }
    QAction* action = menu->addAction(QTr(entry.Caption));
    action->setObjectName(entry.Name);
    connect(action, &QAction::triggered, this,
            [this, command = entry.Command] { Guarded(command); });
  }
}

void TPennacrowForm::BuildMenus() {
  BuildTextMenu();
  BuildPrintMenu();
  TSealCommands::AddWriteMenu(*this, *FlatButton6, [this] { FlatButton6Click(); });
  TSealCommands::AddReadMenu(*this, *FlatButton4, [this] { FlatButton4Click(); });
  BuildPictureMenu();
}

void TPennacrowForm::BuildTextMenu() {
  TitledPopupMenu1 = new TTitledPopupMenu(QTr("文本"), this);
  TitledPopupMenu1->setObjectName("TitledPopupMenu1");
  AddMenuEntries(
      TitledPopupMenu1,
      {{"LoadTextFile1", N_("加载文本文件"), [this] { LoadTextFile1Click(); }},
       {"SaveTextDataToFile1", N_("保存此文本为文件"), [this] { SaveTextDataToFile1Click(); }},
       {"N1", nullptr, {}},
       {"ClearTextBox1", N_("清理文本框!"), [this] { ClearTextBox1Click(); }}});
  TextData->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(TextData, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { TitledPopupMenu1->popup(TextData->mapToGlobal(at)); });
}

void TPennacrowForm::BuildPrintMenu() {
  TitledPopupMenu2 = new TTitledPopupMenu(QTr("打印图像"), this);
  TitledPopupMenu2->setObjectName("TitledPopupMenu2");
  AddMenuEntries(TitledPopupMenu2,
                 {{"PrintAt251", N_("以 25% 比例打印"), [this] { PrintAtScale(25); }},
                  {"PrintAt501", N_("以 50% 比例打印"), [this] { PrintAtScale(50); }},
                  {"PrintAt751", N_("以 75% 比例打印"), [this] { PrintAtScale(75); }},
                  {"PrintAt1001", N_("以 100% 比例打印"), [this] { PrintAtScale(100); }},
                  {"PrintPreview1", kPrintPreviewCaption, [this] { PrintPreview1Click(); }},
                  {"N2", nullptr, {}},
                  {"PrinterSetup1", N_("配置打印机"), [this] { PrinterSetup1Click(); }}});
  // The print button has no click handler of its own: it drops the print menu down under
  // itself.
  connect(FlatButton7, &QToolButton::pressed, this, [this] {
    TitledPopupMenu2->popup(FlatButton7->mapToGlobal(QPoint(0, FlatButton7->height())));
  });
  // The open menu takes the mouse, so the button never sees its release and would stay drawn
  // pressed.
  connect(TitledPopupMenu2, &QMenu::aboutToHide, FlatButton7, [this] {
    FlatButton7->setDown(false);
    FlatButton7->update();
  });
}

void TPennacrowForm::BuildPictureMenu() {
  ImagePopup = new TTitledPopupMenu(QTr(FractalMenuTitle), this);
  ImagePopup->setObjectName("ImagePopup");
  std::vector<TMenuEntry> entries;
  for (const TFractalMenuItem& item : FractalMenuItems) {
    const TFractalTypes kind = item.FractalType;
    entries.push_back({item.Name, item.Caption, [this, kind] { PaintFractalMenuItem(kind); }});
  }
  entries.push_back({nullptr, nullptr, {}});
  entries.push_back({"AnalysisMenuItem", N_("检测风险"), [this] { AnalysisMenuItemClick(); }});
  AddMenuEntries(ImagePopup, entries);
  StealthWriting = ImagePopup->addAction(QTr("隐蔽写入"));
  StealthWriting->setObjectName("StealthWriting");
  StealthWriting->setCheckable(true);
  StegoImage->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(StegoImage, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (!FBusy) ImagePopup->popup(StegoImage->mapToGlobal(at));
  });
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
  // On a small screen the panels give up room and may cut their text; hovering shows all of it.
  FStatusPanels[index]->setToolTip(text);
}

void TPennacrowForm::PictureChanged() {
  FJpegSource.clear();
  FJpegWritten.clear();
  StegoImage->PictureChanged();
  UpdateCapacityMeter();
}

void TPennacrowForm::NewPicture() {
  SetStatusPanel(0, {});
  ToolButton1Click();
}

void TPennacrowForm::RunInBackground(const QString& activity, const std::function<void()>& work) {
  RunWork(
      activity, [&work](const TStopRequest&) { work(); }, false);
}

bool TPennacrowForm::RunStoppable(const QString& activity,
                                  const std::function<void(const TStopRequest&)>& work) {
  return RunWork(activity, work, true);
}

bool TPennacrowForm::RunWork(const QString& activity,
                             const std::function<void(const TStopRequest&)>& work, bool stoppable) {
  struct TBusyScope {
    TPennacrowForm& Form;
    ~TBusyScope() { Form.SetBusy(false, {}, nullptr); }
  };
  TStopRequest stop;
  SetBusy(true, activity, stoppable ? &stop : nullptr);
  TBusyScope busy{*this};
  TWaitCursor wait(stoppable ? Qt::BusyCursor : Qt::WaitCursor);
  std::exception_ptr failure;
  QEventLoop loop;
  std::thread worker([&work, &stop, &failure, &loop] {
    try {
      work(stop);
    } catch (...) {
      failure = std::current_exception();
    }
    // By name: a posted call carries no functor whose last owner could be this thread.
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  if (!failure) return true;
  try {
    std::rethrow_exception(failure);
  } catch (const EWorkStopped&) {
    return false;
  }
}

void TPennacrowForm::SetBusy(bool busy, const QString& activity, TStopRequest* stop) {
  FBusy = busy;
  FStop = stop;
  ToolBar2->setEnabled(!busy);
  FBusyLabel->setText(activity);
  StopButton->setVisible(stop != nullptr);
  StopButton->setEnabled(stop != nullptr);
  FStopAction->setEnabled(stop != nullptr);
  if (busy) {
    FBusyTimer->start();
  } else {
    FBusyTimer->stop();
    BusyIndicator->hide();
    UpdateCapacityMeter();  // for what was typed meanwhile
  }
  emit BusyChanged(busy);
}

void TPennacrowForm::UpdateCapacityMeter() {
  if (FBusy) return;  // the picture is a worker's; the command updates the meter when it ends
  // Without a picture there is nothing to measure against.
  if (FPicture.PictureWidth() <= 0 || FPicture.PictureHeight() <= 0) {
    CapacityMeter->clear();
    return;
  }
  const TCapacityUse use =
      MeasureMemoCapacity(TextData->Text(), FPicture.PictureWidth(), FPicture.PictureHeight());
  CapacityMeter->setText(QString::fromStdString(CapacityUseText(use)));
  // Quiet while the text fits, red when it does not, readable on any theme's background.
  const QPalette colours = palette();
  const QColor background = colours.color(QPalette::Window);
  const QColor ink = use.Fits ? colours.color(QPalette::PlaceholderText) : QColor(0xd0, 0, 0);
  QPalette meter = CapacityMeter->palette();
  meter.setColor(QPalette::WindowText, ReadableOn(ink, background));
  CapacityMeter->setPalette(meter);
}

void TPennacrowForm::EnablePictureCommands(bool enabled) {
  FlatButton2->setEnabled(enabled);
  FlatButton7->setEnabled(enabled);
}

void TPennacrowForm::ApplyPaletteColours() {
  // Style sheets take colours, not roles: they are written again whenever the palette changes.
  const QPalette colours = QApplication::palette(this);
  const QString base = colours.color(QPalette::Base).name();
  ToolBar2->setStyleSheet(
      QString("QToolBar { background: %1; border: none; spacing: 0px; padding: 3px 0px; }")
          .arg(base));
  ScrollBox1->setStyleSheet(QString("QScrollArea { background: %1; }").arg(base));
  UpdateCapacityMeter();
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

namespace {

QImage ScreenImage(const TBitmap* bitmap) {
  return bitmap != nullptr && !bitmap->Empty() ? ToQImage(*bitmap) : QImage();
}

// A copy of the picture control that a worker thread paints, and the screen image it makes of
// the result, so that the GUI thread only takes both over.
struct TPictureWork {
  explicit TPictureWork(const TFractalImage& current) : Picture(FileFormats()) {
    Picture.ControlWidth = current.ControlWidth;
    Picture.ControlHeight = current.ControlHeight;
    Picture.FractalProperties = current.FractalProperties;
  }
  // Run on the worker: the current bitmap is copied there, not on the GUI thread.
  void CopyBitmap(const TBitmap* current) {
    if (current != nullptr) Picture.PictureBitmap().Assign(*current);
  }
  void MakeScreen() { Screen = ScreenImage(Picture.PictureOrNull()); }
  TFractalImage Picture;
  QImage Screen;
};

}  // namespace

void TPennacrowForm::OpenAtStart(const QString& fileName) {
  Guarded([this, &fileName] { LoadPicture(fileName); });
}

void TPennacrowForm::LoadPicture(const QString& fileName) {
  if (FBusy || !ConfirmReplacingPicture()) return;
  const std::string name = fileName.toStdString();
  // The worker decodes into a fresh control (a picture that is not a bitmap is drawn over a copy
  // of the one it replaces) and the window takes it over once it is whole: the picture shown is
  // never the one being written, and a file that fails to load leaves the picture and its name
  // as they were.
  TPictureWork work(FPicture);
  RunInBackground(QTr(kLoadingActivity), [this, &work, &name] {
    work.Picture.LoadPictureFileOver(name, FPicture);
    work.MakeScreen();
  });
  FPictureFileName = fileName;
  FPicture.TakePicture(work.Picture);
  PictureReplaced(std::move(work.Screen));
  if (IsJpegFile(name)) FJpegSource = name;
  DetectDataFormat();
  EnableDataButtons(true);
}

void TPennacrowForm::PictureReplaced(QImage screen) {
  FJpegSource.clear();
  FJpegWritten.clear();
  FUnsavedWrite = false;
  FBeforeWrite.reset();
  FTextBeforeForcedRead.reset();
  StegoImage->PictureChanged(std::move(screen));
  UpdateCapacityMeter();
  NewPicture();
  EnablePictureCommands(true);
}

bool TPennacrowForm::ConfirmReplacingPicture() {
  if (!FUnsavedWrite) return true;
  switch (FUi.AskUnsaved(this, QTr(kReplaceUnsavedQuestion))) {
    case TUnsavedAnswer::Save: {
      bool saved = false;
      Guarded([this, &saved] { saved = SavePicture(); });
      return saved;
    }
    case TUnsavedAnswer::Discard:
      return true;
    case TUnsavedAnswer::Cancel:
      break;
  }
  return false;
}

void TPennacrowForm::FlatButton2Click() {
  SavePicture();
}

bool TPennacrowForm::SavePicture() {
  if (!FJpegWritten.empty()) return SaveJpegWrite();
  TFileDialogRequest request;
  request.Caption = QTr("另存为");
  request.Filter = QTr(kPictureSaveFilter);
  request.DefaultExt = "BMP";
  // A picture loaded from a format we cannot write is proposed under a name we can, with the
  // filter that name stands for.
  const std::string proposed = SaveNameFor(FPictureFileName.toStdString());
  request.FileName = QString::fromStdString(proposed);
  request.FilterIndex = SaveKindFor(proposed) == TSaveKind::Png ? 1 : 0;
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
  const TBitmap* bitmap = FPicture.PictureOrNull();
  std::string problem;
  if (bitmap == nullptr || bitmap->Empty()) {
    SavePictureFile(FPicture, fileName);  // refuses at once: nothing to wait for
  } else {
    // The worker only reads the picture, and nothing that changes it runs meanwhile.
    RunInBackground(QTr(kSavingActivity), [this, &fileName, &problem, lossAccepted] {
      SavePictureFile(FPicture, fileName);
      // Read the file back: a saved picture that no longer gives the text back is told at once.
      if (!lossAccepted) {
        problem = VerifySavedContainer(FPicture.PictureBitmap(), fileName, FileFormats());
      }
    });
  }
  FUnsavedWrite = false;
  SetStatusPanel(0, SavedNote(savedName));
  if (!problem.empty()) FUi.ShowMessage(this, QString::fromStdString(problem));
  return true;
}

bool TPennacrowForm::SaveJpegWrite() {
  TFileDialogRequest request;
  request.Caption = QTr("另存为");
  request.Filter = QTr(kJpegSaveFilter);
  request.DefaultExt = "JPG";
  request.FileName = QString::fromStdString(JpegSaveName(FPictureFileName.toStdString()));
  const std::optional<QString> chosen = FUi.SaveFile(this, request, nullptr);
  if (!chosen) return false;
  const std::optional<std::string> target = JpegSaveTarget(chosen->toStdString());
  if (!target) {
    FUi.ShowMessage(this, QTr(kJpegOnlyMessage));
    return false;
  }
  const std::string& fileName = *target;
  const std::vector<std::uint8_t>& bytes = FJpegWritten;
  RunInBackground(QTr(kSavingActivity),
                  [&fileName, &bytes] { WriteFileAtomically(fileName, bytes); });
  FPictureFileName = QString::fromStdString(fileName);
  FUnsavedWrite = false;
  SetStatusPanel(0, SavedNote(FPictureFileName));
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
  // A save in progress finishes first; a load or paint would only be thrown away.
  if (FBusy) {
    event->ignore();
    return;
  }
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

void TPennacrowForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitToWidth();
}

void TPennacrowForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The window learns its screen once it has a native window; the minimum then follows every
  // move to another screen and every change of the screen's free area.
  if (QWindow* window = windowHandle(); window != nullptr && !FFollowingScreen) {
    FFollowingScreen = true;
    auto follow = [this](QScreen* screen) {
      if (screen == nullptr) return;
      FollowScreen(screen->availableGeometry());
      disconnect(FScreenConnection);
      FScreenConnection =
          connect(screen, &QScreen::availableGeometryChanged, this, &TPennacrowForm::FollowScreen);
    };
    connect(window, &QWindow::screenChanged, this, follow);
    follow(window->screen());
  }
}

void TPennacrowForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ApplyPaletteColours();
  if (event->type() == QEvent::FontChange) FitToWidth();
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
  if (FBusy || !FPicture.HasPicture()) return;
  QString title = FPictureFileName.isEmpty() ? windowTitle() : FPictureFileName;
  // The report is about the picture on screen, which after a write is no longer its file.
  if (FUnsavedWrite) title = QString(QTr(kUnsavedPictureTitle)).arg(title);
  const TBitmap& bitmap = FPicture.PictureBitmap();
  const TBitmap* before = FBeforeWrite.get();
  TAnalysisPages pages;
  // The worker only reads the picture, and nothing that changes it runs meanwhile.
  const bool done = RunStoppable(QTr(kAnalysingActivity), [&](const TStopRequest& stop) {
    pages = MakeAnalysisPages(bitmap, before, title, [&stop] { stop.Checkpoint(); });
  });
  if (!done) return;
  auto* form = new TAnalysisForm(this);
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->ShowPages(std::move(pages));
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
    PictureWritten(std::move(before));
  } catch (const std::exception& e) {
    PictureChanged();
    SetStatusPanel(0, QTr(kWriteFailed));
    FUi.ShowMessage(this, QTr(kWriteFailureTitle) + "\n" + QString::fromUtf8(e.what()));
  }
}

void TPennacrowForm::PictureWritten(std::unique_ptr<TBitmap> before) {
  FBeforeWrite = std::move(before);
  FUnsavedWrite = true;
  PictureChanged();
  DetectDataFormat();
  SetStatusPanel(0, QTr(kWriteSucceeded));
}

void TPennacrowForm::JpegWritten(std::unique_ptr<TBitmap> before,
                                 std::vector<std::uint8_t> written) {
  PictureWritten(std::move(before));  // which forgets any earlier JPEG with the old picture
  FJpegWritten = std::move(written);
}

bool TPennacrowForm::WritesStealthily() const {
  return StealthWriting->isChecked();
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
    const QString textBefore = TextData->toPlainText();
    FDataFormat = hidden.Format;
    FBitString = hidden.Text;
    ReplaceMemoText(*TextData, FBitString);
    if (FDataFormat == kFormatEncrypted) {
      FArmouredText = TextData->Text();
      FlatButton5Click();
    }
    // What the user asked for was done, but there was nothing hidden to read: no success.
    SetStatusPanel(0, QTr(found ? kReadSucceeded : kForcedReadDone));
    if (found) {
      FTextBeforeForcedRead.reset();
    } else {
      FTextBeforeForcedRead = textBefore;
    }
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
  if (FBusy || !ConfirmReplacingPicture()) return;
  FPicture.FractalProperties.ChangeFractalType(kind);
  TPictureWork work(FPicture);
  const TBitmap* current = FPicture.PictureOrNull();
  // A failed paint leaves the picture as it was: the work was done on a copy.
  RunInBackground(QTr(kPaintingActivity), [&work, current] {
    work.CopyBitmap(current);
    work.Picture.PaintFractal();
    work.MakeScreen();
  });
  FPicture.TakePicture(work.Picture);
  PictureReplaced(std::move(work.Screen));
  EnableDataButtons(true);
  // Every panel speaks of the new picture. The probe's answer is shown without becoming the
  // format the next write uses, which the memo's text decides.
  ShowDataFormat(::pennacrow::DetectDataFormat(FPicture.PictureOrNull()));
}

void TPennacrowForm::PrintAtScale(int percent) {
  if (!FPicture.HasPicture() || FPicture.PictureBitmap().Empty()) return;
  const std::unique_ptr<QPrinter> job = FPrinters.ForJob();
  // A printer that writes a file never replaces one: an existing name gets a free one beside it.
  if (job->outputFormat() == QPrinter::PdfFormat && !job->outputFileName().isEmpty()) {
    job->setOutputFileName(FreeFileName(job->outputFileName()));
  }
  PrintImageAtScale(*job, FPicture, percent);
  // A printer that writes a file shows nothing coming out: say where the page went.
  if (const QString where = PrintedToFileMessage(*job); !where.isEmpty()) {
    FUi.ShowMessage(this, where);
  }
}

void TPennacrowForm::PrintPreview1Click() {
  // The preview shows the chosen printer's page. Closing it changes nothing; printing from it
  // confirms a printer in its print dialog, which later print commands then use too.
  std::unique_ptr<QPrinter> printer = FPrinters.Copy();
  if (MakePrintPreview(*printer, FPicture, 100, this)->exec() == QDialog::Accepted) {
    FPrinters.Use(std::move(printer));
  }
}

void TPennacrowForm::PrinterSetup1Click() {
  // Only a confirmed dialog changes the printer the print commands use.
  std::unique_ptr<QPrinter> printer = FPrinters.Copy();
  if (MakePrinterSetupDialog(*printer, this)->exec() == QDialog::Accepted) {
    FPrinters.Use(std::move(printer));
  }
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
  if (FBusy) return false;
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
