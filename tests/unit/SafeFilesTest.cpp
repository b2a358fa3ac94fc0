// The file layer's rules that the command line cannot reach: the check before a file replaces
// its target, picture files refused before reading, and empty pictures refused before saving.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "TestUtil.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/Errors.h"
#include "picture/Graphic.h"
#include "picture/PixelLimits.h"

namespace pennacrow {
namespace {

const std::vector<std::uint8_t> kOld{9, 9};

TEST(SafeWrite, AFailedCheckLeavesTheTargetAndNoTemporaryFile) {
  test::TTempDir dir;
  test::WriteFileBytes(dir.Path("out.png"), kOld);
  TWriteOptions options;
  options.Check = [](const std::string& temp) {
    EXPECT_EQ(std::filesystem::path(temp).extension(), ".png");  // loadable as the target
    EXPECT_EQ(std::filesystem::status(temp).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    throw EPennacrowError("does not read back");
  };
  const std::vector<std::uint8_t> data{1, 2, 3};
  EXPECT_THROW(WriteFileAtomically(dir.Path("out.png"), data, options), EPennacrowError);
  EXPECT_EQ(test::ReadFileBytes(dir.Path("out.png")), kOld);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1);
}

// A patch lands where it was asked whether its bytes are still buffered or already on disk,
// leaves the end of the file alone, and a patch past what was written is refused.
TEST(SafeWrite, PatchesOverwriteBufferedAndWrittenBytes) {
  test::TTempDir dir;
  const std::vector<std::uint8_t> big((1 << 20) + 5, 1);
  WriteFilePatchable(dir.Path("out.bin"), [&](TFileSink& sink) {
    ASSERT_TRUE(sink.CanPatch());
    sink.Put(std::vector<std::uint8_t>{0, 0, 0});
    sink.Patch(1, std::vector<std::uint8_t>{7});  // still in the block
    sink.Put(big);
    sink.Patch(0, std::vector<std::uint8_t>{8, 9});  // on disk by now
    EXPECT_EQ(sink.Written(), big.size() + 3);
    EXPECT_THROW(sink.Patch(big.size() + 2, std::vector<std::uint8_t>{1, 1}), std::logic_error);
  });
  std::vector<std::uint8_t> expected{8, 9, 0};
  expected.insert(expected.end(), big.begin(), big.end());
  EXPECT_EQ(test::ReadFileBytes(dir.Path("out.bin")), expected);
}

TEST(SafeRead, PicturesThatAreDevicesFifosOrTooLargeAreRefused) {
  test::TTempDir dir;
  ASSERT_EQ(::mkfifo(dir.Path("fifo.bmp").c_str(), 0600), 0);
  EXPECT_THROW(ReadPictureFile("/dev/zero"), EFileError);
  EXPECT_THROW(ReadPictureFile(dir.Path("fifo.bmp")), EFileError);  // and does not hang
  const TPixelLimits saved = GetPixelLimits();
  SetPixelLimits({saved.MaxPixels, 1000});
  test::WriteFileBytes(dir.Path("huge.bmp"), std::vector<std::uint8_t>((17 << 20) + 1000, 0));
  EXPECT_THROW(ReadPictureFile(dir.Path("huge.bmp")), EFileError);
  SetPixelLimits(saved);
}

TEST(SafeSave, AnEmptyPictureIsRefusedAndTheOldFileKept) {
  test::TTempDir dir;
  for (const char* name : {"keep.bmp", "keep.png"}) {
    test::WriteFileBytes(dir.Path(name), kOld);
    TFractalImage none(FileFormats());
    EXPECT_THROW(SavePictureFile(none, dir.Path(name)), EEmptyPicture) << name;
    none.PictureBitmap();  // the 0 x 0 bitmap an empty control holds
    EXPECT_THROW(SavePictureFile(none, dir.Path(name)), EEmptyPicture) << name;
    EXPECT_EQ(test::ReadFileBytes(dir.Path(name)), kOld) << name;
  }
}

}  // namespace
}  // namespace pennacrow
