#include "app/EncryptForm.h"

#include <QGroupBox>
#include <QLabel>
#include <QStatusBar>
#include <QTextCursor>
#include <QWidget>

#include "app/Glyphs.h"
#include "app/Language.h"
#include "app/UserInterface.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "crypto/CryptText.h"
#include "text/TextRules.h"

namespace pennacrow {

namespace {

const char* const kEmptyPasswordQuestion =
    N_("密码是空的：任何人不用密码就能解开这段文本。\n\n仍然使用空密码吗？");
const char* const kWrongPasswordMessage =
    N_("解密得到的不是有效的文本，密码可能不对。\n加密的文本保持不变，可以换一个密码再试。");

}  // namespace

TEncryptForm::TEncryptForm(TUserInterface& ui, QWidget* parent) : QDialog(parent), FUi(ui) {
  setWindowTitle(QTr("Pennacrow 加密器"));
  setFixedSize(572, 403);
  setModal(true);

  auto* toolBar = new QWidget(this);
  toolBar->setObjectName("ToolBar2");
  toolBar->setGeometry(0, 0, 572, 59);
  toolBar->setAutoFillBackground(true);
  toolBar->setBackgroundRole(QPalette::Base);
  FlatButton5 = new TFlatButton(QTr("加密"), ToolGlyph(5), toolBar);
  FlatButton5->setObjectName("FlatButton5");
  FlatButton5->move(0, 2);
  FlatButton9 = new TFlatButton(QTr("解密"), ToolGlyph(5), toolBar);
  FlatButton9->setObjectName("FlatButton9");
  FlatButton9->move(80, 2);
  FlatButton8 = new TFlatButton(QTr("关闭"), ToolGlyph(6), toolBar);
  FlatButton8->setObjectName("FlatButton8");
  FlatButton8->move(160, 2);

  auto* banner = new QLabel(QTr("Pennacrow 数据加／解密"), this);
  banner->setObjectName("Panel2");
  banner->setGeometry(0, 59, 572, 27);
  banner->setAlignment(Qt::AlignCenter);
  banner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  banner->setStyleSheet(
      "QLabel { background: #6394c6; color: white; font-weight: bold; font-size: 14px; }");

  auto* group = new QGroupBox(QTr("已加／解密的文本"), this);
  group->setObjectName("GroupBox1");
  group->setGeometry(16, 90, 540, 286);
  EncryptMemo = new TTextMemo(group);
  EncryptMemo->setObjectName("EncryptMemo");
  EncryptMemo->setGeometry(10, 22, 521, 257);
  EncryptMemo->SetHoverBorder(QColor(8, 36, 107));
  EncryptMemo->setAccessibleName(QTr("文本"));
  EncryptMemo->setAccessibleDescription(QTr("要加密或解密的文本"));

  auto* status = new QStatusBar(this);
  status->setObjectName("StatusBar1");
  status->setSizeGripEnabled(false);
  status->setGeometry(0, 403 - 19, 572, 19);

  // A press runs to its end; an error that escapes it is shown, as the framework would.
  auto guarded = [this](void (TEncryptForm::*run)()) {
    return [this, run] {
      try {
        (this->*run)();
      } catch (const std::exception& e) {
        FUi.ShowMessage(this, QString::fromUtf8(e.what()));
      }
    };
  };
  connect(FlatButton5, &QToolButton::clicked, this, guarded(&TEncryptForm::RunEncryption));
  connect(FlatButton9, &QToolButton::clicked, this, guarded(&TEncryptForm::RunDecryption));
  connect(FlatButton8, &QToolButton::clicked, this, [this] { FlatButton8Click(); });
}

void ReplaceMemoText(TTextMemo& memo, const std::string& payload) {
  // What SetText shows: line breaks normalised, then one line feed per break.
  const std::string utf8 = PayloadToUtf8(NormalizeLineBreaks(payload));
  std::string shown;
  shown.reserve(utf8.size());
  for (const char c : utf8) {
    if (c != '\r') shown += c;
  }
  QTextCursor cursor(memo.document());
  cursor.beginEditBlock();
  cursor.select(QTextCursor::Document);
  cursor.insertText(QString::fromStdString(shown));
  cursor.endEditBlock();
}

std::string TEncryptForm::Text() const {
  return EncryptMemo->Text();
}

void TEncryptForm::SetText(const std::string& payload) {
  EncryptMemo->clear();
  EncryptMemo->SetText(payload);
  FEncrypted.reset();
}

std::optional<std::string> TEncryptForm::EncryptedText() const {
  if (FEncrypted && *FEncrypted == Text()) return FEncrypted;
  return std::nullopt;
}

bool TEncryptForm::AskPassword(std::string& password) {
  password.clear();
  const std::optional<QString> typed =
      FUi.InputBox(this, QTr("密码    "), QTr("输入密码      "), 255);
  if (!typed) return false;
  // An empty password is a key anyone tries first; used only when the user says so.
  if (typed->isEmpty() && !FUi.Confirm(this, QTr(kEmptyPasswordQuestion))) return false;
  password = Utf8ToPayload(typed->toStdString());
  return true;
}

void TEncryptForm::RunEncryption() {
  std::string password;
  if (!AskPassword(password)) return;
  try {
    const std::string armoured = EncryptTextWithPassword(password, EncryptMemo->Text());
    ReplaceMemoText(*EncryptMemo, armoured);
    FEncrypted = Text();
  } catch (const std::exception&) {
    FUi.ShowMessage(this, QTr("加密错误消息            "));
  }
  std::fill(password.begin(), password.end(), '\0');
}

void TEncryptForm::RunDecryption() {
  std::string password;
  if (!AskPassword(password)) return;
  try {
    const std::string plain = DecryptTextWithPassword(password, EncryptMemo->Text());
    // A wrong password gives bytes of no text at all; the armoured text stays for another try.
    if (!IsValidPayload(plain)) {
      FUi.ShowMessage(this, QTr(kWrongPasswordMessage));
    } else {
      ReplaceMemoText(*EncryptMemo, plain);
      FEncrypted.reset();
    }
  } catch (const std::exception&) {
    FUi.ShowMessage(this, QTr("解密错误消息            "));
  }
  std::fill(password.begin(), password.end(), '\0');
}

}  // namespace pennacrow
