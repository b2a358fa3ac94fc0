#include "app/SealCommands.h"

#include <QFileInfo>

#include "adaptive/AdaptiveBitmap.h"
#include "adaptive/AdaptiveJpeg.h"
#include "app/EncryptForm.h"
#include "app/Language.h"
#include "app/UserInterface.h"
#include "base/FileIO.h"
#include "codec/CapacityMeter.h"
#include "codec/Container.h"
#include "codec/SealedContainer.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "crypto/CryptBase.h"
#include "formats/JPEGCoefficients.h"
#include "formats/JPEGImage.h"
#include "picture/FractalImage.h"
#include "picture/Graphic.h"
#include "picture/PictureFile.h"
#include "text/TextRules.h"

namespace pennacrow {

namespace {

const char* const kSealCaption = N_("密封");
const char* const kAskPassword = N_("输入密码");
const char* const kAskPasswordAgain = N_("再输入一次密码");
const char* const kNoPicture = N_("请先加载图像或绘制一幅分形图");
const char* const kChooseFileCaption = N_("选择要密封的文件");
const char* const kSaveFileCaption = N_("保存密封的文件");
const char* const kAdaptiveCaption = N_("密钥自适应写入");

const char* const kKeepJpegQuestion =
    N_("这幅图片是从 JPEG 文件加载的。保持为 JPEG 吗？\n"
       "是：内容写进 JPEG 自己的系数，保存时写出 JPEG 文件，不重新压缩。\n"
       "否：内容写进像素，保存为 BMP 或 PNG。");

const char* const kGpsKeptNote =
    N_("注意：这个 JPEG 的 EXIF 里有拍摄地点（GPS 位置），保存的文件照样保留它。");

// What a keyed write takes, under its first password question.
QString AdaptiveNote(const TAdaptiveCapacity& capacity, const TSealedContent& content) {
  return QString::fromStdString(
      TrF("这张图片最多能放 %1 字节，预计 %2 字节以内不易被检测出来；内容有 %3 字节。",
          {GroupThousands(static_cast<std::int64_t>(capacity.Largest)),
           GroupThousands(static_cast<std::int64_t>(capacity.Tolerated)),
           GroupThousands(static_cast<std::int64_t>(content.Bytes.size()))}));
}

// Argon2id takes about half a second by design (and a damaged header may ask for more): it runs
// off the GUI thread under these words. It cannot stop part way, so it offers no "取消".
const char* const kSealingActivity = N_("正在用密码加密…");
const char* const kOpeningActivity = N_("正在用密码解开…");

// A password as UTF-8 in normalisation form C, the typed copy overwritten: composed and
// decomposed accents must open the same seal on every system.
std::string PasswordUtf8(QString& typed) {
  QString normal = typed.normalized(QString::NormalizationForm_C);
  QByteArray bytes = normal.toUtf8();
  std::string password(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  SecureFill(typed.data(), static_cast<std::size_t>(typed.size()) * sizeof(QChar), 0);
  SecureFill(normal.data(), static_cast<std::size_t>(normal.size()) * sizeof(QChar), 0);
  SecureFill(bytes.data(), static_cast<std::size_t>(bytes.size()), 0);
  return password;
}

// Overwrites a password when the scope ends.
class TWipe {
 public:
  explicit TWipe(std::string& s) : FText(s) {}
  TWipe(const TWipe&) = delete;
  TWipe& operator=(const TWipe&) = delete;
  ~TWipe() { SecureFill(FText.data(), FText.size(), 0); }

 private:
  std::string& FText;
};

// The arrow at the button's right edge shows that its menu is there, and a right click opens it
// too; a click on the rest of the button still does the button's own command.
void AttachMenu(TFlatButton* button, QMenu* menu, const QString& hint) {
  button->setMenu(menu);
  button->setPopupMode(QToolButton::MenuButtonPopup);
  button->setToolTip(button->toolTip() + "\n" + hint);
  button->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(button, &QWidget::customContextMenuRequested, menu,
                   [menu, button](const QPoint& at) { menu->popup(button->mapToGlobal(at)); });
}

}  // namespace

void TSealCommands::AddWriteMenu(TSealHost& host, TFlatButton& button,
                                 const std::function<void()>& write) {
  auto* menu = new TTitledPopupMenu(QTr("写入"), &host.Window());
  menu->setObjectName("WritePopupMenu");
  auto add = [&](const char* name, const QString& caption, void (TSealCommands::*command)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    QObject::connect(action, &QAction::triggered, &host.Window(), [&host, command] {
      host.Guarded([&host, command] { (TSealCommands(host).*command)(); });
    });
  };
  QAction* writeAction = menu->addAction(QTr("写入数据"));
  writeAction->setObjectName("WriteData1");
  QObject::connect(writeAction, &QAction::triggered, &host.Window(),
                   [&host, write] { host.Guarded(write); });
  menu->addSeparator();
  add("SealWrite1", QTr("密封写入…"), &TSealCommands::SealWrite1Click);
  add("SealWriteFile1", QTr("密封写入文件…"), &TSealCommands::SealWriteFile1Click);
  menu->addSeparator();
  add("AdaptiveWrite1", QTr("密钥自适应写入…"), &TSealCommands::AdaptiveWrite1Click);
  add("AdaptiveWriteFile1", QTr("密钥自适应写入文件…"), &TSealCommands::AdaptiveWriteFile1Click);
  AttachMenu(&button, menu, QTr("单击右侧的箭头或右键单击可密封写入文本或文件"));
}

void TSealCommands::AddReadMenu(TSealHost& host, TFlatButton& button,
                                const std::function<void()>& read) {
  auto* menu = new TTitledPopupMenu(QTr("读出"), &host.Window());
  menu->setObjectName("ReadPopupMenu");
  QAction* readAction = menu->addAction(QTr("读取数据"));
  readAction->setObjectName("ReadData1");
  QObject::connect(readAction, &QAction::triggered, &host.Window(),
                   [&host, read] { host.Guarded(read); });
  menu->addSeparator();
  QAction* keyed = menu->addAction(QTr("凭密码读取…"));
  keyed->setObjectName("ReadWithPassword1");
  QObject::connect(keyed, &QAction::triggered, &host.Window(), [&host] {
    host.Guarded([&host] { TSealCommands(host).ReadWithPassword1Click(); });
  });
  AttachMenu(&button, menu, QTr("单击右侧的箭头或右键单击可凭密码读取密钥自适应写入的内容"));
}

std::optional<std::string> TSealCommands::AskNewPassword(const QString& note) {
  std::optional<QString> first = FHost.Ui().PasswordBox(
      &FHost.Window(), QTr(kSealCaption),
      note.isEmpty() ? QTr(kAskPassword) : note + "\n\n" + QTr(kAskPassword));
  if (!first) return std::nullopt;
  std::optional<QString> second =
      FHost.Ui().PasswordBox(&FHost.Window(), QTr(kSealCaption), QTr(kAskPasswordAgain));
  if (!second) return std::nullopt;
  std::string a = PasswordUtf8(*first);
  std::string b = PasswordUtf8(*second);
  const TWipe wipeB(b);
  if (a != b) {
    SecureFill(a.data(), a.size(), 0);
    throw EPennacrowError(Tr(kMsgSealPasswordsDiffer));
  }
  if (a.empty()) throw EPennacrowError(Tr(kMsgSealPasswordEmpty));
  return a;
}

void TSealCommands::Seal(const TSealedContent& content, bool adaptive) {
  if (!FHost.Picture().HasPicture()) throw EPennacrowError(Tr(kNoPicture));
  TBitmap& bitmap = FHost.Picture().PictureBitmap();
  try {
    if (adaptive && !FHost.JpegSource().empty() &&
        FHost.Ui().AskYesNo(&FHost.Window(), QTr(kKeepJpegQuestion))) {
      SealJpeg(content);
      return;
    }
    if (adaptive) {
      RequireAdaptiveFits(bitmap, content);
    } else {
      RequireSealedFits(bitmap, content);
    }
    std::optional<std::string> password =
        AskNewPassword(adaptive ? AdaptiveNote(AdaptiveCapacity(bitmap), content) : QString());
    if (!password) return;
    const TWipe wipe(*password);
    auto before = std::make_unique<TBitmap>();
    before->Assign(bitmap);
    if (adaptive) {
      // The keyed write derives its key and places every change in a copy on the worker, as
      // the window may repaint from the picture meanwhile; the copy replaces it here.
      TBitmap written;
      written.Assign(bitmap);
      FHost.RunInBackground(QTr(kSealingActivity), [&written, &password, &content] {
        HideAdaptive(written, *password, content);
      });
      bitmap.Assign(written);
    } else {
      std::string payload;
      // The worker sees only the password and the content; the picture is written here.
      FHost.RunInBackground(QTr(kSealingActivity), [&payload, &password, &content] {
        payload = SealPayload(*password, content, DefaultSealParameters());
      });
      HideText(bitmap,
               {payload, kFormatSealed,
                FHost.WritesStealthily() ? TLowBitWriting::Stealth : TLowBitWriting::Replace});
    }
    FHost.PictureWritten(std::move(before));
  } catch (const ETextDoesNotFit&) {
    FHost.ShowOutcome(QTr(kWriteFailed));
    throw;
  } catch (const ENoAdaptiveRoom&) {
    FHost.ShowOutcome(QTr(kWriteFailed));
    throw;
  }
}

void TSealCommands::SealJpeg(const TSealedContent& content) {
  TJpegCoefficients jpeg(ReadPictureFile(FHost.JpegSource()));
  QString note = AdaptiveNote(RequireAdaptiveJpegFits(jpeg, content), content);
  // The file keeps its markers: the place a photograph was taken is often the more telling.
  if (jpeg.Metadata().GpsPosition) note += "\n" + QTr(kGpsKeptNote);
  std::optional<std::string> password = AskNewPassword(note);
  if (!password) return;
  const TWipe wipe(*password);
  TBitmap& bitmap = FHost.Picture().PictureBitmap();
  auto before = std::make_unique<TBitmap>();
  before->Assign(bitmap);
  // The worker writes the coefficients and decodes the written file for the window, which shows
  // the picture as it will be saved.
  std::vector<std::uint8_t> written;
  TBitmap shown;
  FHost.RunInBackground(QTr(kSealingActivity), [&] {
    written = HideAdaptiveInJpegFile(std::move(jpeg), *password, content, true);
    TJPEGImage image;
    image.LoadFromBytes(written);
    image.TakeBitmap(shown);
  });
  bitmap.Assign(shown);
  FHost.JpegWritten(std::move(before), std::move(written));
}

std::optional<TSealedContent> TSealCommands::ChosenFile() {
  if (!FHost.Picture().HasPicture()) throw EPennacrowError(Tr(kNoPicture));
  TFileDialogRequest request;
  request.Caption = QTr(kChooseFileCaption);
  request.Filter = QTr("全部文件|*.*");
  const std::optional<QString> chosen = FHost.Ui().OpenFile(&FHost.Window(), request);
  if (!chosen) return std::nullopt;
  const std::vector<std::uint8_t> bytes = ReadWholeFile(chosen->toStdString());
  return TSealedContent{TSealedKind::File, QFileInfo(*chosen).fileName().toStdString(),
                        std::string(bytes.begin(), bytes.end())};
}

void TSealCommands::SealWrite1Click() {
  Seal({TSealedKind::Text, "", PayloadToUtf8(FHost.Memo().Text())}, false);
}

void TSealCommands::SealWriteFile1Click() {
  if (const std::optional<TSealedContent> file = ChosenFile()) Seal(*file, false);
}

void TSealCommands::AdaptiveWrite1Click() {
  Seal({TSealedKind::Text, "", PayloadToUtf8(FHost.Memo().Text())}, true);
}

void TSealCommands::AdaptiveWriteFile1Click() {
  if (const std::optional<TSealedContent> file = ChosenFile()) Seal(*file, true);
}

void TSealCommands::ReadSealedData() {
  try {
    // A damaged container is told before anyone types a password for it.
    const std::string payload = ReadSealedPayload(FHost.Picture().PictureBitmap());
    OpenWithPassword(QTr(kSealCaption), [&payload](const std::string& password) {
      return OpenSealedPayload(password, payload);
    });
  } catch (const std::exception& e) {
    ReadFailed(e);
  }
}

void TSealCommands::ReadWithPassword1Click() {
  const TBitmap* bitmap = FHost.Picture().PictureOrNull();
  if (bitmap == nullptr) throw EPennacrowError(Tr(kNoPicture));
  try {
    // A picture as loaded from a JPEG file, or written into its coefficients and not yet saved,
    // holds a keyed message in those coefficients; any other in its pixels.
    std::optional<TJpegCoefficients> jpeg;
    if (!FHost.WrittenJpeg().empty()) {
      jpeg.emplace(FHost.WrittenJpeg());
    } else if (!FHost.JpegSource().empty()) {
      jpeg.emplace(ReadPictureFile(FHost.JpegSource()));
    }
    // A picture that cannot hold a keyed message is told so before anyone types a password.
    if (jpeg) {
      RequireMayHoldAdaptiveJpeg(*jpeg);
    } else {
      RequireMayHoldAdaptive(*bitmap);
    }
    // The picture only changes through commands that are off while the worker reads it.
    OpenWithPassword(QTr(kAdaptiveCaption), [&jpeg, bitmap](const std::string& password) {
      return jpeg ? RevealAdaptiveJpeg(*jpeg, password) : RevealAdaptive(*bitmap, password);
    });
  } catch (const std::exception& e) {
    ReadFailed(e);
  }
}

void TSealCommands::OpenWithPassword(
    const QString& caption,
    const std::function<TSealedContent(const std::string& password)>& open) {
  std::optional<QString> typed =
      FHost.Ui().PasswordBox(&FHost.Window(), caption, QTr(kAskPassword));
  if (!typed) return;
  std::string password = PasswordUtf8(*typed);
  const TWipe wipe(password);
  TSealedContent content;
  FHost.RunInBackground(QTr(kOpeningActivity),
                        [&content, &password, &open] { content = open(password); });
  ShowOpened(content);
}

void TSealCommands::ReadFailed(const std::exception& failure) {
  FHost.ShowOutcome(QTr(kReadFailed));
  FHost.Ui().ShowMessage(&FHost.Window(), QString::fromUtf8(failure.what()));
}

void TSealCommands::ShowOpened(const TSealedContent& content) {
  if (content.Kind == TSealedKind::Text) {
    ReplaceMemoText(FHost.Memo(), Utf8ToPayload(content.Bytes));
  } else {
    TFileDialogRequest request;
    request.Caption = QTr(kSaveFileCaption);
    request.Filter = QTr("全部文件|*.*");
    request.FileName = QString::fromStdString(content.Name);
    const std::optional<QString> target = FHost.Ui().SaveFile(&FHost.Window(), request, nullptr);
    if (!target) return;
    // What was sealed was meant for the password's holder only.
    TWriteOptions options;
    options.NewFileMode = 0600;
    WriteFileAtomically(
        target->toStdString(),
        {reinterpret_cast<const std::uint8_t*>(content.Bytes.data()), content.Bytes.size()},
        options);
  }
  FHost.ShowOutcome(QTr(kReadSucceeded));
}

}  // namespace pennacrow
