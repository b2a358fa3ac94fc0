#pragma once
// TEncryptForm: the modal dialog that encrypts the payload text with a password and decrypts it.
// It keeps nothing between presses but its memo's text.

#include <QDialog>
#include <optional>
#include <string>

namespace pennacrow {

class TFlatButton;
class TTextMemo;
class TUserInterface;

// Replaces a memo's whole text as one edit that Ctrl+Z takes back, unlike TTextMemo::SetText,
// which empties the undo history with the text.
void ReplaceMemoText(TTextMemo& memo, const std::string& payload);

class TEncryptForm : public QDialog {
  Q_OBJECT
 public:
  explicit TEncryptForm(TUserInterface& ui, QWidget* parent = nullptr);

  std::string Text() const;
  void SetText(const std::string& payload);
  // The ArmouredText the last encryption produced, while the memo still holds it unchanged.
  std::optional<std::string> EncryptedText() const;

  void FlatButton5Click() { RunEncryption(); }
  void FlatButton9Click() { RunDecryption(); }
  void FlatButton8Click() { reject(); }

  TTextMemo* EncryptMemo = nullptr;
  TFlatButton* FlatButton5 = nullptr;
  TFlatButton* FlatButton9 = nullptr;
  TFlatButton* FlatButton8 = nullptr;

 private:
  void RunEncryption();
  void RunDecryption();
  // Asks for the password; false when the user did not confirm.
  bool AskPassword(std::string& password);

  TUserInterface& FUi;
  std::optional<std::string> FEncrypted;
};

}  // namespace pennacrow
