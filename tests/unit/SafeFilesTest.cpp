// The file layer's rules that the command line cannot reach: the check before a file replaces
// its target, picture files refused before reading, and empty pictures refused before saving.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "TestUtil.h"
#include "base/FileIO.h"
#include "formats/Registry.h"
#include "formats/SavePicture.h"
#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PictureFile.h"
#include "picture/PixelLimits.h"

namespace pennacrow {
namespace {

const std::vector<std::uint8_t> kOld{9, 9};

TEST(SafeWrite, AFailedCheckLeavesTheTargetAndNoTemporaryFile) {
  test::TTempDir dir;
  test::WriteFileBytes(dir.Path("out.png"), kOld);
  TWriteOptions options;
  options.Check = [&dir](const std::string& written, const std::string& target) {
    EXPECT_EQ(target, dir.Path("out.png"));  // loadable as the target
    EXPECT_EQ(test::ReadFileBytes(written), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::filesystem::status(written).permissions(),
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
  // The decoders that read the file as they go refuse it alike.
  for (const char* name : {"fifo.png", "fifo.jpg", "fifo.ppm", "fifo.tga"}) {
    ASSERT_EQ(::mkfifo(dir.Path(name).c_str(), 0600), 0);
    EXPECT_THROW(LoadGraphicFile(FileFormats(), dir.Path(name)), EFileError) << name;
  }
  const TPixelLimits small{TPixelLimits{}.MaxPixels, 1000};
  test::WriteFileBytes(dir.Path("huge.bmp"), std::vector<std::uint8_t>((17 << 20) + 1000, 0));
  EXPECT_THROW(ReadPictureFile(dir.Path("huge.bmp"), false, small), EFileError);
}

// Every decoder reads through one reader, over memory or over a file through a buffer; either
// way it must see the file's bytes in order, in pieces of any size, and its end where it is.
TEST(SafeRead, ByteReaderGivesTheBytesInOrderFromMemoryOrFile) {
  test::TTempDir dir;
  std::vector<std::uint8_t> data(700000);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  test::WriteFileBytes(dir.Path("data.bin"), data);
  const TPictureFile file(dir.Path("data.bin"));
  for (const bool fromFile : {false, true}) {
    SCOPED_TRACE(fromFile ? "file" : "memory");
    TByteReader in = fromFile ? TByteReader(file, "X") : TByteReader(data, "X");
    std::vector<std::uint8_t> seen;
    std::size_t piece = 1;
    while (seen.size() < 500000) {
      const auto part = seen.size() % 2 ? in.Next(piece) : in.Bytes(piece);
      ASSERT_FALSE(part.empty());
      seen.insert(seen.end(), part.begin(), part.end());
      piece = std::min<std::size_t>(piece * 3 + 17, 70001);  // straddling the buffer's edges
    }
    const auto skipped = static_cast<std::ptrdiff_t>(seen.size());
    in.Skip(50000);
    std::vector<std::uint8_t> rows(100000);  // a large read, straight to its place
    in.ReadInto(rows.data(), rows.size());
    seen.insert(seen.end(), rows.begin(), rows.end());
    for (auto part = in.Next(SIZE_MAX); !part.empty(); part = in.Next(SIZE_MAX))
      seen.insert(seen.end(), part.begin(), part.end());
    EXPECT_TRUE(in.AtEnd());
    EXPECT_THROW(in.U8(), EInvalidGraphicFormat);
    std::vector<std::uint8_t> expected(data.begin(), data.end());
    expected.erase(expected.begin() + skipped, expected.begin() + skipped + 50000);
    EXPECT_TRUE(seen == expected);
    std::uint8_t tail[4];
    EXPECT_TRUE(in.ReadAt(data.size() - 4, tail, 4));
    EXPECT_EQ(tail[3], data.back());
    EXPECT_FALSE(in.ReadAt(data.size() - 3, tail, 4));
    TByteReader part = in.Part(300000, 10);
    part.Skip(9);
    EXPECT_EQ(part.U8(), data[300009]);
    EXPECT_THROW(part.U8(), EInvalidGraphicFormat);
  }
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
