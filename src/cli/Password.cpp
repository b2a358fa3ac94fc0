#include "cli/Password.h"
#include "base/Translate.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "base/Error.h"
#include "base/FileIO.h"
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

// The terminal whose echo is off, for the signal handlers: a Ctrl+C or Ctrl+\ at the prompt must
// not leave the shell without echo, and after Ctrl+Z and fg the password must not be echoed.
volatile sig_atomic_t gQuietTerminal = -1;
termios gSavedTerminal{};
termios gQuietSettings{};
constexpr int kPromptSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGTSTP, SIGCONT};
constexpr int kSignalCount = static_cast<int>(std::size(kPromptSignals));
struct sigaction gPreviousActions[kSignalCount];

void RestorePrevious(int signal) {
  for (int i = 0; i < kSignalCount; ++i) {
    if (kPromptSignals[i] == signal) ::sigaction(signal, &gPreviousActions[i], nullptr);
  }
}

void OnPromptSignal(int signal);

void InstallPromptHandler(int signal, struct sigaction* previous) {
  struct sigaction action {};
  action.sa_handler = OnPromptSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, previous);
}

void OnPromptSignal(int signal) {
  const int fd = gQuietTerminal;
  if (fd < 0) return;
  if (signal == SIGCONT) {
    // Back in the foreground (after Ctrl+Z, or a stop we could not catch): no echo again.
    ::tcsetattr(fd, TCSANOW, &gQuietSettings);
    return;
  }
  ::tcsetattr(fd, TCSANOW, &gSavedTerminal);
  if (signal == SIGTSTP) {
    // Stopped with the shell's own settings, and the prompt's again once running on (or at
    // once, where a stop does not apply: an orphaned process group is not stopped).
    ::signal(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    ::sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // the stop happens here, not after the handler
    ::raise(SIGTSTP);
    InstallPromptHandler(SIGTSTP, nullptr);
    ::tcsetattr(fd, TCSANOW, &gQuietSettings);
    return;
  }
  // Whatever handled the signal before (the removal of temporary files, or the default) runs
  // next, once this handler returns, and the process dies of the signal as it would have.
  RestorePrevious(signal);
  ::raise(signal);
}

// The terminal, opened for the prompt; echo is off while the object lives.
class TTerminal {
 public:
  TTerminal() : FFd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (FFd < 0)
      throw EPennacrowError(
          Tr("没有终端可输入密码; 请用 --password-file 或 PENNACROW_PASSWORD"));
    if (::tcgetattr(FFd, &FSaved) == 0) {
      termios quiet = FSaved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      quiet.c_lflag |= ECHONL;
      gSavedTerminal = FSaved;
      gQuietSettings = quiet;
      gQuietTerminal = FFd;
      for (int i = 0; i < kSignalCount; ++i) {
        InstallPromptHandler(kPromptSignals[i], &gPreviousActions[i]);
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
      gQuietTerminal = -1;
      for (int i = 0; i < kSignalCount; ++i) {
        ::sigaction(kPromptSignals[i], &gPreviousActions[i], nullptr);
      }
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
        throw EPennacrowError(TrF("无法从终端读取密码: %1", {SystemErrorText(errno)}));
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
    throw EPennacrowError(Tr(kMsgSealPasswordsDiffer));
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
  if (utf8.empty()) throw EPennacrowError(Tr("密码不能为空"));
  return utf8;
}

std::string ReadPassword(const TArgs& args) {
  std::string utf8 = ReadPasswordUtf8(args);
  std::string password = Utf8ToPayload(utf8);
  Forget(utf8);
  return password;
}

}  // namespace pennacrow::cli
