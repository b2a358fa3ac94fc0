#pragma once
// The file an atomic write fills before it replaces its target. Where the file system allows
// it, the file has no name until the moment it takes the target's place (O_TMPFILE), so a
// process killed while writing leaves nothing behind. Elsewhere (vfat, some network file
// systems) it is a hidden name beside the target that carries its writer's process id: it is
// removed on every failure and on SIGINT or SIGTERM, and a later save into the same directory
// removes those whose writer has gone.

#include <string>

namespace pennacrow {

class TTempFile {
 public:
  // A new, empty file of mode 0600 for target, in target's directory; fileName is the name the
  // caller knows the target by, for messages.
  TTempFile(const std::string& target, const std::string& fileName);
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  // A file that did not take the target's place is gone afterwards.
  ~TTempFile();

  int Descriptor() const { return FFd; }
  // A name the file can be opened and read by before it is in place (it may have no extension).
  std::string ReadableName() const;
  // Closes the file and renames it over the target in one step.
  void Replace();

 private:
  void LinkBesideTarget();

  std::string FTarget;
  std::string FFileName;
  std::string FName;  // the file's name while it has one that is not the target's
  int FFd = -1;
  int FSlot = -1;  // where a signal handler finds FName
};

// Temporary files that have a name, kept where a signal handler can find them: a front end that
// dies of SIGINT or SIGTERM calls RemoveTempFiles from its handler so that no half-written file
// is left beside the target. Safe to call from a signal handler.
void RemoveTempFiles() noexcept;

}  // namespace pennacrow
