// What the file layer may and may not do to files it did not create: modes, links, devices,
// checks before replacing, temporary files, and reads that must stop.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestUtil.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/Errors.h"
#include "picture/FractalImage.h"
#include "picture/Graphic.h"
#include "picture/PixelLimits.h"
#include "text/TextFile.h"

namespace pennacrow {
namespace {

const std::vector<std::uint8_t> kNew{1, 2, 3};

void Write(const std::string& fileName, const TWriteOptions& options = {}) {
  WriteFileAtomically(fileName, std::span<const std::uint8_t>(kNew), options);
}

mode_t ModeOf(const std::string& fileName) {
  struct stat info {};
  EXPECT_EQ(::lstat(fileName.c_str(), &info), 0) << fileName;
  return info.st_mode;
}

int EntriesIn(const std::string& directory) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++n;
  return n;
}

TEST(SafeWrite, ModesOfNewAndReplacedFiles) {
  test::TTempDir dir;
  const mode_t mask = ::umask(022);  // the test's own process; the code never sets it
  Write(dir.Path("new"));
  EXPECT_EQ(ModeOf(dir.Path("new")) & 0777, 0644u);
  TWriteOptions privateText;
  privateText.NewFileMode = 0600;
  Write(dir.Path("secret"), privateText);
  EXPECT_EQ(ModeOf(dir.Path("secret")) & 0777, 0600u);
  // A replaced file keeps its mode, whatever the options ask of new files.
  test::WriteFileBytes(dir.Path("kept"), {9});
  ::chmod(dir.Path("kept").c_str(), 0640);
  Write(dir.Path("kept"));
  EXPECT_EQ(ModeOf(dir.Path("kept")) & 0777, 0640u);
  EXPECT_EQ(test::ReadFileBytes(dir.Path("kept")), kNew);
  ::umask(mask);
}

TEST(SafeWrite, ALinkIsKeptAndItsTargetReplaced) {
  test::TTempDir dir;
  std::filesystem::create_directory(dir.Path("real"));
  test::WriteFileBytes(dir.Path("real/target.bmp"), {9});
  std::filesystem::create_symlink("real/target.bmp", dir.Path("link.bmp"));
  Write(dir.Path("link.bmp"));
  EXPECT_TRUE(S_ISLNK(ModeOf(dir.Path("link.bmp"))));
  EXPECT_EQ(test::ReadFileBytes(dir.Path("real/target.bmp")), kNew);
  EXPECT_EQ(EntriesIn(dir.Path("real")), 1);
  EXPECT_EQ(EntriesIn(dir.Path("")), 2);
}

TEST(SafeWrite, DevicesAndFifosAreWrittenInPlace) {
  test::TTempDir dir;
  Write("/dev/null");
  EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
  ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  // Opened for reading without waiting, so that the writer finds a reader.
  const int reader = ::open(dir.Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Write(dir.Path("fifo"));
  std::uint8_t got[8] = {};
  EXPECT_EQ(::read(reader, got, sizeof got), 3);
  ::close(reader);
  EXPECT_TRUE(S_ISFIFO(ModeOf(dir.Path("fifo"))));
}

TEST(SafeWrite, TheCheckRunsBeforeTheTargetIsReplaced) {
  test::TTempDir dir;
  test::WriteFileBytes(dir.Path("out.png"), {9, 9});
  TWriteOptions options;
  std::string checked;
  options.Check = [&checked](const std::string& temp) {
    checked = temp;
    EXPECT_EQ(test::ReadFileBytes(temp), kNew);
    EXPECT_EQ(ModeOf(temp) & 0777, 0600u);  // not readable by others before it is complete
    throw EPennacrowError("does not read back");
  };
  EXPECT_THROW(Write(dir.Path("out.png"), options), EPennacrowError);
  EXPECT_EQ(test::ReadFileBytes(dir.Path("out.png")), (std::vector<std::uint8_t>{9, 9}));
  EXPECT_EQ(EntriesIn(dir.Path("")), 1);
  EXPECT_EQ(std::filesystem::path(checked).extension(), ".png");  // loadable by its extension
}

TEST(SafeWrite, LongNamesAndTemporaryFilesRemovedOnASignal) {
  test::TTempDir dir;
  const std::string longName = dir.Path(std::string(250, 'n') + ".bmp");
  Write(longName);
  EXPECT_EQ(test::ReadFileBytes(longName), kNew);
  EXPECT_THROW(WriteFileAtomically(dir.Path("cut.bmp"),
                                   [&](const TByteSink& sink) {
                                     sink(kNew);
                                     EXPECT_EQ(EntriesIn(dir.Path("")), 2);
                                     RemoveTempFiles();  // what the signal handler does
                                     EXPECT_EQ(EntriesIn(dir.Path("")), 1);
                                   }),
               EFileError);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("cut.bmp")));
}

TEST(SafeRead, EndlessAndOversizedInputsStop) {
  test::TTempDir dir;
  EXPECT_THROW(ReadWholeFile("/dev/zero", 1000, "文本文件"), EFileError);
  test::WriteFileBytes(dir.Path("big.txt"), std::vector<std::uint8_t>(kMaxTextFileBytes + 1, 'a'));
  EXPECT_THROW(ReadTextFile(dir.Path("big.txt")), EFileError);
  test::WriteFileBytes(dir.Path("fits.txt"), std::vector<std::uint8_t>(kMaxTextFileBytes, 'a'));
  EXPECT_EQ(ReadTextFile(dir.Path("fits.txt")).size(), kMaxTextFileBytes);

  // Pictures: devices and FIFOs are refused before a byte is read, and so is a file larger
  // than the byte limit leaves room for.
  ASSERT_EQ(::mkfifo(dir.Path("fifo.bmp").c_str(), 0600), 0);
  for (const std::string& name : {std::string("/dev/zero"), dir.Path("fifo.bmp")}) {
    EXPECT_THROW(ReadPictureFile(name), EFileError) << name;
  }
  const TPixelLimits saved = GetPixelLimits();
  SetPixelLimits({saved.MaxPixels, 1000});
  test::WriteFileBytes(dir.Path("huge.bmp"), std::vector<std::uint8_t>((17 << 20) + 1000, 0));
  EXPECT_THROW(ReadPictureFile(dir.Path("huge.bmp")), EFileError);
  SetPixelLimits(saved);
}

TEST(SafeSave, AnEmptyPictureIsRefusedAndTheOldFileKept) {
  test::TTempDir dir;
  for (const char* name : {"keep.bmp", "keep.png"}) {
    test::WriteFileBytes(dir.Path(name), {7});
    TFractalImage none(FileFormats());
    EXPECT_THROW(SavePictureFile(none, dir.Path(name)), EEmptyPicture) << name;
    TFractalImage empty(FileFormats());
    empty.PictureBitmap();  // the 0 x 0 bitmap an empty control holds
    EXPECT_THROW(SavePictureFile(empty, dir.Path(name)), EEmptyPicture) << name;
    EXPECT_EQ(test::ReadFileBytes(dir.Path(name)), (std::vector<std::uint8_t>{7})) << name;
  }
}

TEST(SafeSave, NamesWithoutAnExtensionGetTheChosenFilters) {
  EXPECT_EQ(WithSaveExtension("/a.b/photo", 1), "/a.b/photo.png");
  EXPECT_EQ(WithSaveExtension("photo", 0), "photo.bmp");
  EXPECT_EQ(WithSaveExtension("photo", 2), "photo.bmp");
  EXPECT_EQ(WithSaveExtension("photo.jpg", 1), "photo.jpg");  // refused later, not renamed
}

TEST(Utf8, FirstInvalidSequenceOffset) {
  EXPECT_EQ(FirstInvalidUtf8("plain \xE4\xBD\xA0"), std::string_view::npos);
  EXPECT_EQ(FirstInvalidUtf8("ab\xFF"), 2u);
  EXPECT_EQ(FirstInvalidUtf8("\xE4\xBD\xA0\xE4\xBD"), 3u);  // cut at the end
  EXPECT_EQ(FirstInvalidUtf8("a\xC0\x80"), 1u);             // overlong
}

}  // namespace
}  // namespace pennacrow
