#pragma once
// The main window's sealed commands, on the write button's menu: "密封写入…" seals the memo's text
// and "密封写入文件…" a chosen file into the picture, and the read command hands a sealed picture
// here, which asks for its password and shows the text or offers to save the file. The keyed
// adaptive writes ("密钥自适应写入…", "密钥自适应写入文件…") sit on the same menu and show what
// the picture takes before the password is asked; their reading, "凭密码读取…", is on the read
// button's menu, since nothing in such a picture tells the read command to ask. A picture loaded
// from a JPEG file may keep it: the keyed write then goes into the file's own coefficients and
// the save writes that JPEG. Every rule is the core's.

#include <QString>
#include <optional>
#include <string>

#include "crypto/Sealed.h"

namespace pennacrow {

class TPennacrowForm;

class TSealCommands {
 public:
  explicit TSealCommands(TPennacrowForm& form) : FForm(form) {}

  // The write button's own menu, on a right click: the write command, then the sealing
  // commands, each run as the form runs its commands. The button's click keeps its job.
  static void AddWriteMenu(TPennacrowForm& form);
  // The read button's menu, the same way: the read command and the keyed read.
  static void AddReadMenu(TPennacrowForm& form);

  void SealWrite1Click();
  void SealWriteFile1Click();
  void AdaptiveWrite1Click();
  void AdaptiveWriteFile1Click();
  // The read command on a picture whose probe found a sealed container.
  void ReadSealedData();
  void ReadWithPassword1Click();

 private:
  void Seal(const TSealedContent& content, bool adaptive);
  // The keyed write into the coefficients of the JPEG file the picture was loaded from.
  void SealJpeg(const TSealedContent& content);
  std::optional<TSealedContent> ChosenFile();
  // Asked twice; nothing when the user cancels. note goes under the first question.
  std::optional<std::string> AskNewPassword(const QString& note = {});
  // An opened seal: a text goes to the memo, a file where the user saves it.
  void ShowOpened(const TSealedContent& content);

  TPennacrowForm& FForm;
};

}  // namespace pennacrow
