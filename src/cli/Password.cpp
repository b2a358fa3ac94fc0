#include "cli/Password.h"
#include "text/Translate.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/CryptBase.h"
#include "crypto/Sealed.h"
#include "picture/Graphic.h"
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

// Far more than any password; a file beyond it is not a password file.
constexpr std::uint64_t kMaxPasswordFileBytes = 4096;

std::string ReadPasswordFile(const std::string& fileName) {
  std::vector<std::uint8_t> bytes =
      ReadWholeFile(InputPath(fileName), kMaxPasswordFileBytes, N_("密码文件"));
  std::string content(bytes.begin(), bytes.end());
  SecureFill(bytes.data(), bytes.size(), 0);
  std::string line = FirstLine(content);
  Forget(content);
  return line;
}

// The terminal whose echo is off, for the signal handlers: a Ctrl+C at the prompt must not leave
// the shell without echo.
volatile sig_atomic_t gQuietTerminal = -1;
termios gSavedTerminal{};
struct sigaction gPreviousActions[2];
constexpr int kPromptSignals[2] = {SIGINT, SIGTERM};

void RestoreEchoAndDie(int signal) {
  if (gQuietTerminal >= 0) ::tcsetattr(gQuietTerminal, TCSANOW, &gSavedTerminal);
  // Whatever handled the signal before (the removal of temporary files, or the default) runs
  // next, once this handler returns, and the process dies of the signal as it would have.
  for (int i = 0; i < 2; ++i) {
    if (kPromptSignals[i] == signal) ::sigaction(signal, &gPreviousActions[i], nullptr);
  }
  ::raise(signal);
}

// The terminal, opened for the prompt; echo is off while the object lives.
class TTerminal {
 public:
  TTerminal() : FFd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (FFd < 0)
      throw std::runtime_error(
          Tr("没有终端可输入密码; 请用 --password-file 或 PENNACROW_PASSWORD"));
    if (::tcgetattr(FFd, &FSaved) == 0) {
      termios quiet = FSaved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      quiet.c_lflag |= ECHONL;
      gSavedTerminal = FSaved;
      gQuietTerminal = FFd;
      for (int i = 0; i < 2; ++i) {
        struct sigaction action {};
        action.sa_handler = RestoreEchoAndDie;
        sigemptyset(&action.sa_mask);
        ::sigaction(kPromptSignals[i], &action, &gPreviousActions[i]);
      }
      FHandlers = true;
      FRestore = ::tcsetattr(FFd, TCSAFLUSH, &quiet) == 0;
    }
  }
  TTerminal(const TTerminal&) = delete;
  TTerminal& operator=(const TTerminal&) = delete;
  ~TTerminal() {
    if (FRestore) ::tcsetattr(FFd, TCSAFLUSH, &FSaved);
    if (FHandlers) {
      for (int i = 0; i < 2; ++i) ::sigaction(kPromptSignals[i], &gPreviousActions[i], nullptr);
      gQuietTerminal = -1;
    }
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
        throw std::runtime_error(TrF("无法从终端读取密码: %1", {SystemErrorText(errno)}));
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
  bool FHandlers = false;
};

std::string PromptPassword(bool confirm) {
  TTerminal terminal;
  terminal.Write(Tr("密码: "));
  std::string first = terminal.ReadLine();
  if (!confirm) return first;
  terminal.Write(Tr("再输入一次密码: "));
  std::string second = terminal.ReadLine();
  const bool same = first == second;
  Forget(second);
  if (!same) {
    Forget(first);
    throw std::runtime_error(Tr(kMsgSealPasswordsDiffer));
  }
  return first;
}

}  // namespace

std::string ReadPasswordUtf8(const TArgs& args, bool confirm) {
  std::string utf8;
  if (args.Has("--password-file")) {
    utf8 = ReadPasswordFile(args.Value("--password-file"));
  } else if (const char* env = std::getenv("PENNACROW_PASSWORD"); env != nullptr) {
    utf8 = env;
  } else {
    utf8 = PromptPassword(confirm);
  }
  // An empty password encrypts with a key anyone can try first.
  if (utf8.empty()) throw std::runtime_error(Tr("密码不能为空"));
  return utf8;
}

std::string ReadPassword(const TArgs& args) {
  std::string utf8 = ReadPasswordUtf8(args);
  std::string password = Utf8ToPayload(utf8);
  Forget(utf8);
  return password;
}

}  // namespace pennacrow::cli
