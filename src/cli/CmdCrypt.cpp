#include "cli/Cli.h"
#include "cli/Password.h"
#include "crypto/CryptText.h"

namespace pennacrow::cli {

namespace {

// Standard input to standard output, as bytes: the ArmouredText carries no line end, and
// decryption gives back exactly the bytes that were encrypted.
int RunCrypt(const std::vector<std::string>& words, bool encrypt) {
  const TArgs args(words, {"--password-file"}, {});
  args.ExpectPositional(0);
  const std::string password = ReadPassword(args);
  const std::string input = ReadAllStdin();
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
