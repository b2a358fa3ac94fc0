#include "cli/Password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "crypto/CryptBase.h"
#include "crypto/Sealed.h"
#include "text/TextRules.h"

namespace pennacrow::cli {

namespace {

// Overwrites a string that held a password before it is released.
void Forget(std::string& s) {
  SecureFill(s.data(), s.size(), 0);
  s.clear();
}

std::string FirstLine(const std::string& content) {
  std::string line = content.substr(0, content.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string ReadPasswordFile(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) {
    throw std::runtime_error("无法读取密码文件 " + fileName + ": " + std::strerror(errno));
  }
  std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) throw std::runtime_error("无法读取密码文件 " + fileName);
  std::string line = FirstLine(content);
  Forget(content);
  return line;
}

// The terminal, opened for the prompt; echo is off while the object lives.
class TTerminal {
 public:
  TTerminal() : FFd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (FFd < 0)
      throw std::runtime_error("没有终端可输入密码; 请用 --password-file 或 PENNACROW_PASSWORD");
    if (::tcgetattr(FFd, &FSaved) == 0) {
      termios quiet = FSaved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      quiet.c_lflag |= ECHONL;
      FRestore = ::tcsetattr(FFd, TCSAFLUSH, &quiet) == 0;
    }
  }
  TTerminal(const TTerminal&) = delete;
  TTerminal& operator=(const TTerminal&) = delete;
  ~TTerminal() {
    if (FRestore) ::tcsetattr(FFd, TCSAFLUSH, &FSaved);
    ::close(FFd);
  }

  void Write(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(FFd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // the prompt is a courtesy; reading decides
      done += static_cast<std::size_t>(n);
    }
  }

  // One line without its line end.
  std::string ReadLine() {
    std::string line;
    for (;;) {
      char c;
      const ssize_t n = ::read(FFd, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        Forget(line);
        throw std::runtime_error(std::string("无法从终端读取密码: ") + std::strerror(errno));
      }
      if (n == 0 || c == '\n') break;
      line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

 private:
  int FFd;
  termios FSaved{};
  bool FRestore = false;
};

std::string PromptPassword(bool confirm) {
  TTerminal terminal;
  terminal.Write("密码: ");
  std::string first = terminal.ReadLine();
  if (!confirm) return first;
  terminal.Write("再输入一次密码: ");
  std::string second = terminal.ReadLine();
  const bool same = first == second;
  Forget(second);
  if (!same) {
    Forget(first);
    throw std::runtime_error(kMsgSealPasswordsDiffer);
  }
  return first;
}

}  // namespace

std::string ReadPasswordUtf8(const TArgs& args, bool confirm) {
  if (args.Has("--password-file")) return ReadPasswordFile(args.Value("--password-file"));
  if (const char* env = std::getenv("PENNACROW_PASSWORD"); env != nullptr) return env;
  return PromptPassword(confirm);
}

std::string ReadPassword(const TArgs& args) {
  std::string utf8 = ReadPasswordUtf8(args);
  std::string password = Utf8ToPayload(utf8);
  Forget(utf8);
  return password;
}

}  // namespace pennacrow::cli
