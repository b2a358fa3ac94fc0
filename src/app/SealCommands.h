#pragma once
// The main window's sealed commands: "密封写入…" seals the memo's text and "密封写入文件…" a chosen
// file into the picture, and the read command hands a sealed picture here, which asks for its
// password and shows the text or offers to save the file. Every rule is the core's.

#include <optional>
#include <string>

#include "crypto/Sealed.h"

class QMenu;

namespace pennacrow {

class TPennacrowForm;

class TSealCommands {
 public:
  explicit TSealCommands(TPennacrowForm& form) : FForm(form) {}

  // Adds both sealing commands to menu, each run as the form runs its commands.
  static void AddTo(QMenu& menu, TPennacrowForm& form);

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
