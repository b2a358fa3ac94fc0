#include "base/Translate.h"
#include "cli/Cli.h"
#include "cli/Password.h"
#include "crypto/CryptBase64.h"
#include "crypto/CryptText.h"

#include <cctype>

namespace pennacrow::cli {

namespace {

// Standard input to standard output, as bytes: the ArmouredText carries no line end, and
// decryption gives back exactly the bytes that were encrypted.
int RunCrypt(const std::vector<std::string>& words, bool encrypt) {
  const TArgs args(words, {"--password-file"}, {});
  args.ExpectPositional(0);
  const std::string password = ReadPassword(args);
  std::string input = ReadAllStdin();
  if (!encrypt) {
    // The line end an editor or echo adds is no part of the armour.
    while (!input.empty() && std::isspace(static_cast<unsigned char>(input.back()))) {
      input.pop_back();
    }
    // The decoder takes any characters; "decrypting" what is no armour would print nonsense
    // as the text.
    if (!IsStrictBase64(input)) {
      throw EPennacrowError(TrF("%1：%2", {ShownName("-"), Tr("不是加密后的文本：Base64 "
                                                              "只含字母、数字、+ 和 /，末尾以 = "
                                                              "补齐到 4 的倍数")}));
    }
  }
  WriteAllStdout(encrypt ? EncryptTextWithPassword(password, input)
                         : DecryptTextWithPassword(password, input));
  return kExitSuccess;
}

}  // namespace

int CmdEncrypt(const std::vector<std::string>& words) {
  return RunCrypt(words, true);
}

int CmdDecrypt(const std::vector<std::string>& words) {
  return RunCrypt(words, false);
}

}  // namespace pennacrow::cli
