#pragma once
// pennacrow-cli: the command-line front end over the same core as the desktop program.
// Exit status: 0 success, 1 failure (message on standard error), 2 usage error.

#include <cstdint>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <memory>
#include "base/Error.h"
#include "base/FileIO.h"
#include "base/Translate.h"
#include "formats/SavePicture.h"
#include "picture/FractalImage.h"
#include "picture/PictureRows.h"

namespace pennacrow::cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Thrown for a command line that does not follow the usage; main prints it and exits 2.
class EUsage : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// The words after the command name: positional arguments, and options that take a value
// ("-o OUT", "--text=T" or "--text T") or stand alone ("--json").
class TArgs {
 public:
  // valueOptions: options that take a value; flagOptions: options that stand alone.
  TArgs(const std::vector<std::string>& words, const std::vector<std::string>& valueOptions,
        const std::vector<std::string>& flagOptions);

  const std::vector<std::string>& Positional() const { return FPositional; }
  bool Has(const std::string& option) const { return FValues.count(option) != 0; }
  std::string Value(const std::string& option, const std::string& fallback = {}) const;
  // Exactly n positional arguments, or EUsage.
  void ExpectPositional(std::size_t n) const;

 private:
  std::vector<std::string> FPositional;
  std::map<std::string, std::string> FValues;
};

using TCommand = int (*)(const std::vector<std::string>& words);

int CmdInfo(const std::vector<std::string>& words);
int CmdHide(const std::vector<std::string>& words);
int CmdReveal(const std::vector<std::string>& words);
int CmdEncrypt(const std::vector<std::string>& words);
int CmdDecrypt(const std::vector<std::string>& words);
int CmdConvert(const std::vector<std::string>& words);
int CmdFractal(const std::vector<std::string>& words);
int CmdFormats(const std::vector<std::string>& words);
int CmdAnalyze(const std::vector<std::string>& words);

// Helpers shared by the commands.
std::string ReadAllStdin();
// Standard input when it holds a text to hide: more than kMaxTextFileBytes is refused, as from
// a text file.
std::string ReadTextStdin();
void WriteAllStdout(std::span<const std::uint8_t> bytes);
void WriteAllStdout(const std::string& bytes);
// Writes bytes to a file atomically (nothing is left behind when it fails). A file that did not
// exist is created 0600 when it holds a revealed or decrypted text (private).
void WriteOutputFile(const std::string& fileName, std::span<const std::uint8_t> bytes,
                     bool privateText);
void WriteOutputFile(const std::string& fileName, const std::string& bytes, bool privateText);

// A revealed text to -o OUT (a new file created 0600), or to standard output when there is no
// -o or it is "-". At a terminal, without --raw, its control characters are shown escaped and a
// note on standard error says so: a hidden text is somebody else's and must not drive the
// terminal. A pipe gets the exact bytes.
void WriteRevealedText(const TArgs& args, const std::string& text);

// A file's name in a message; "-" is standard input.
std::string ShownName(const std::string& name);

// The core's messages say what is wrong, not with which file: the name is added to those that
// do not already name it.
template <typename TWork>
auto NamingTheFile(const std::string& name, TWork work) -> decltype(work()) {
  try {
    return work();
  } catch (const EUsage&) {
    throw;  // about the command line, not the file
  } catch (const EPennacrowError& e) {
    const std::string shown = ShownName(name);
    const std::string message = e.what();
    if (message.find(shown) != std::string::npos) throw;
    throw EPennacrowError(FormatMessage(Tr("%1：%2"), {shown, message}));
  }
}

// "-" names standard input for options that read a file.
std::string InputPath(const std::string& name);

// Loads a picture named on the command line for a command that writes one: "-" is standard
// input, and the content decides where the name's extension is missing or wrong. (--format names
// what such a command writes, never how it reads.)
void LoadPicture(TFractalImage& picture, const std::string& name);
// The rows of a picture named on the command line, decoded only as far as a reader asks for
// them: the reader is the one LoadPicture would choose, or that of --format EXT for a command
// that reads only (info, reveal); standard input is read whole.
class TCommandLineRows : public TRowSource {
 public:
  TCommandLineRows(std::string name, const TArgs& args);
  const TBitmap& Rows(int rowCount) override;
  int Height() const override;

 private:
  std::string FName;
  const TArgs& FArgs;
  std::unique_ptr<TPictureFileRows> FFile;
  std::unique_ptr<TFractalImage> FWhole;
};

// Says on standard error, naming the picture, when the save of this kind drops its alpha channel.
void NoteDroppedAlpha(const TBitmap& bitmap, const std::string& name, TSaveKind kind);

// The writer for OUT: its extension, or --format bmp|png when OUT is "-". EUsage otherwise, and
// for a --format that names another writer than OUT's extension.
TSaveKind OutputKind(const std::string& out, const TArgs& args);
// Saves to OUT, or writes the file's bytes to standard output when OUT is "-".
void SaveOutput(TFractalImage& picture, const std::string& out, TSaveKind kind,
                const TWriteOptions& options = {});

// On SIGINT and SIGTERM the temporary files of a save are removed before the process dies of
// the signal.
void InstallSignalCleanup();

}  // namespace pennacrow::cli
