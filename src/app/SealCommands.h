#pragma once
// The main window's sealed commands, on the write button's menu: "密封写入…" seals the memo's text
// and "密封写入文件…" a chosen file into the picture, and the read command hands a sealed picture
// here, which asks for its password and shows the text or offers to save the file. Every rule is
// the core's.

#include <optional>
#include <string>

#include "crypto/Sealed.h"

namespace pennacrow {

class TPennacrowForm;

class TSealCommands {
 public:
  explicit TSealCommands(TPennacrowForm& form) : FForm(form) {}

  // The write button's own menu, on a right click: the write command, then both sealing
  // commands, each run as the form runs its commands. The button's click keeps its job.
  static void AddWriteMenu(TPennacrowForm& form);

  void SealWrite1Click();
  void SealWriteFile1Click();
  // The read command on a picture whose probe found a sealed container.
  void ReadSealedData();

 private:
  void Seal(const TSealedContent& content);
  // Asked twice; nothing when the user cancels.
  std::optional<std::string> AskNewPassword();

  TPennacrowForm& FForm;
};

}  // namespace pennacrow
