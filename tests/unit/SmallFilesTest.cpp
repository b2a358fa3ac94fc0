// Nothing a small file can do to us: no file of under 1 KB costs more than 64 MB or 0.2 s of
// CPU, from memory, as a whole file or read for its first rows. Each row is a small file of a
// kind that made a decoder allocate or work for what its header claims, with what it must come
// to now: the kind of refusal, or (a metafile) a picture played at a bounded size.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "DecoderSamples.h"
#include "SampleBuilder.h"
#include "TestUtil.h"
#include "formats/Registry.h"
#include "picture/Errors.h"
#include "picture/FileFormats.h"
#include "picture/FractalImage.h"
#include "picture/Graphic.h"
#include "picture/PictureFile.h"
#include "picture/PictureRows.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PENNACROW_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PENNACROW_SANITIZED 1
#endif
#endif
#ifndef PENNACROW_SANITIZED
#define PENNACROW_SANITIZED 0
#endif
#ifdef NDEBUG
#define PENNACROW_OPTIMISED 1
#else
#define PENNACROW_OPTIMISED 0
#endif

namespace pennacrow {
namespace {

using test::TBytes;
using test::TByteWriter;

constexpr long kMaxKilobytes = 64 * 1024;
constexpr double kMaxSeconds = 0.2;

struct TSmallFile {
  const char* Name;
  const char* Extension;  // chooses the decoder through the registry
  TBytes Bytes;
  std::optional<TGraphicFault> Kind;  // nothing: the file loads
  bool TopRowsLoad = false;           // its first rows are whole: a read of them succeeds
};

enum class TPath { Memory, WholeFile, FirstRows };

// What a load comes to, as an exit status: 0 loaded, 10 + kind refused, 99 anything else.
int Load(const TSmallFile& file, TPath path, const std::string& fileName) {
  try {
    if (path == TPath::Memory) {
      const TGraphicClass* pictureClass = FileFormats().ClassForExtension(file.Extension);
      pictureClass->Create()->LoadFromBytes(file.Bytes);
    } else if (path == TPath::WholeFile) {
      TFractalImage picture(FileFormats());
      picture.LoadPictureFile(fileName);
    } else {
      LoadPictureRows(FileFormats(), fileName, 1);
    }
    return 0;
  } catch (const EInvalidGraphicFormat& e) {
    return 10 + static_cast<int>(e.Kind());
  } catch (...) {
    return 99;
  }
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// Loads in a child process, whose peak memory and CPU time the system reports on its own; in a
// build for debugging or under a sanitizer, whose costs would be measured too, in this process
// and unmeasured.
void ExpectCheap(const TSmallFile& file, TPath path, const std::string& fileName) {
  static const char* const kPaths[] = {"from memory", "whole file", "first rows"};
  SCOPED_TRACE(std::string(file.Name) + ", " + kPaths[static_cast<int>(path)]);
  const bool loads = !file.Kind || (path == TPath::FirstRows && file.TopRowsLoad);
  const int expected = loads ? 0 : 10 + static_cast<int>(*file.Kind);
  if (PENNACROW_SANITIZED || !PENNACROW_OPTIMISED) {
    EXPECT_EQ(Load(file, path, fileName), expected);
    return;
  }
  const long before = ResidentKilobytes();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(Load(file, path, fileName));
  int status = 0;
  rusage usage{};
  ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), expected);
  EXPECT_LE(usage.ru_maxrss - before, kMaxKilobytes);
  const double seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  EXPECT_LE(seconds, kMaxSeconds);
}

TBytes BmpHeader(std::uint32_t width, std::uint32_t height, unsigned bpp, unsigned compression,
                 unsigned colours) {
  TByteWriter w;
  w.Text("BM").U32LE(0).U32LE(0).U32LE(54 + 4 * colours);
  w.U32LE(40).U32LE(width).U32LE(height).U16LE(1).U16LE(bpp).U32LE(compression).U32LE(0);
  w.U32LE(0).U32LE(0).U32LE(colours).U32LE(0).Fill(4 * colours);
  return w.Bytes;
}

TBytes Png(std::uint32_t width, std::uint32_t height) {
  TByteWriter w;
  w.U8s({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
  TByteWriter ihdr;
  ihdr.U32BE(width).U32BE(height).U8s({8, 6, 0, 0, 0});
  w.Append(test::PngChunk("IHDR", ihdr.Bytes));
  w.Append(test::PngChunk("IDAT", {0x78, 0x9C, 0x63, 0x60, 0x18, 0x05, 0xA3, 0x60}));
  return w.Bytes;
}

// Grey samples that do not compress to nothing.
TBytes Noise(std::size_t count) {
  TBytes samples(count);
  for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<std::uint8_t>(i * 37 % 251);
  return samples;
}

// A grey PNG that says it has 16 rows, with the image data (and the end chunk) of 8.
TBytes PngShortOfRows() {
  const TBytes half = test::MakePng({16, 8, 0, 8, Noise(128)});
  TByteWriter ihdr;
  ihdr.U32BE(16).U32BE(16).U8s({8, 0, 0, 0, 0});
  TByteWriter w;
  w.U8s({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}).Append(test::PngChunk("IHDR", ihdr.Bytes));
  return w.Append(TBytes(half.begin() + 33, half.end())).Bytes;  // after the signature and IHDR
}

// A small grey JPEG with the size in its frame header changed.
TBytes Jpeg(unsigned width, unsigned height) {
  TBytes jpeg = test::MakeJpeg(16, 16, 1, Noise(256), 50);
  for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8), jpeg[i + 6] = height & 0xFF;
      jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8), jpeg[i + 8] = width & 0xFF;
    }
  }
  return jpeg;
}

// A JPEG whose coded rows stop halfway at a marker that is not the end of the picture.
TBytes JpegCutByAMarker() {
  TBytes jpeg = test::MakeJpeg(16, 64, 1, Noise(1024), 50);
  std::size_t scan = 0;
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) scan = i + 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
  }
  const std::size_t cut = scan + (jpeg.size() - 2 - scan) / 3;
  jpeg.resize(cut);
  jpeg.insert(jpeg.end(), {0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9});
  return jpeg;
}

TBytes Gif(unsigned screen, unsigned frame) {
  TByteWriter w;
  w.Text("GIF89a").U16LE(screen).U16LE(screen).U8s({0, 0, 0});
  w.U8(0x2C).U16LE(0).U16LE(0).U16LE(frame).U16LE(frame).U8(0);
  w.U8s({8, 4, 0x00, 0x01, 0x04, 0x04, 0, 0x3B});  // a clear code, one pixel, the end code
  return w.Bytes;
}

TBytes Wmf(const std::vector<std::vector<unsigned>>& records) {
  TByteWriter w;
  w.U16LE(1).U16LE(9).U16LE(0x0300).U32LE(0).U16LE(1).U32LE(8).U16LE(0);
  for (const std::vector<unsigned>& r : records) {
    w.U32LE(static_cast<std::uint32_t>(2 + r.size())).U16LE(r[0]);
    for (std::size_t i = 1; i < r.size(); ++i) w.U16LE(r[i]);
  }
  return w.U32LE(3).U16LE(0).Bytes;
}

std::vector<TSmallFile> SmallFiles() {
  using enum TGraphicFault;
  TByteWriter pcx;
  pcx.U8s({0x0A, 5, 1, 8}).U16LE(0).U16LE(0).U16LE(16383).U16LE(16383).Fill(53).U8(3);
  pcx.U16LE(16384).Fill(60);
  TByteWriter targa;
  targa.U8s({0, 0, 10}).Fill(9).U16LE(16384).U16LE(16384).U8s({24, 0x20, 0xFF, 0, 0, 0});
  // A grey TIFF of 16384 x 16384 in one uncompressed strip of 100 bytes.
  TByteWriter tiff;
  tiff.Text("II*").U8(0).U32LE(8).U16LE(9);
  for (const auto [tag, type, value] :
       std::initializer_list<std::array<unsigned, 3>>{{256, 4, 16384},
                                                      {257, 4, 16384},
                                                      {258, 3, 8},
                                                      {259, 3, 1},
                                                      {262, 3, 1},
                                                      {273, 4, 8 + 2 + 9 * 12 + 4},
                                                      {277, 3, 1},
                                                      {278, 4, 16384},
                                                      {279, 4, 100}}) {
    tiff.U16LE(tag).U16LE(type).U32LE(1).U32LE(value);
  }
  tiff.U32LE(0).Fill(100);
  TByteWriter ico;
  ico.U16LE(0).U16LE(1).U16LE(1).U8s({0, 0, 0, 0}).U16LE(1).U16LE(32);
  const TBytes png = Png(16000, 16000);
  ico.U32LE(static_cast<std::uint32_t>(png.size())).U32LE(22).Append(png);
  TByteWriter psd;
  psd.Text("8BPS").U16BE(1).Fill(6).U16BE(3).U32BE(16000).U32BE(16000).U16BE(8).U16BE(3);
  psd.U32BE(0).U32BE(0).U32BE(0).U16BE(0).Fill(40);
  const std::string ppm = "P6\n12000 12000\n255\nabc";
  const std::vector<unsigned> wide = {0x020C, 16383, 16383};
  const std::vector<unsigned> fill = {0x041B, 16383, 16383, 0, 0};
  TBytes bmp = BmpHeader(16384, 16384, 32, 0, 0);
  bmp.resize(bmp.size() + 8);  // 62 bytes, the pixels of two
  TBytes rle = BmpHeader(16384, 16384, 8, 1, 2);
  rle.insert(rle.end(), {0, 1});  // end of the picture at once
  return {
      {"BMP rows not in the file", "bmp", bmp, Truncated},
      {"BMP run-length data far too short", "bmp", rle, Truncated},
      {"PNG image data far too short", "png", png, Truncated},
      {"PNG image data ending before the last row", "png", PngShortOfRows(), Truncated, true},
      {"JPEG coded data far too short", "jpg", Jpeg(16000, 16000), Truncated},
      {"JPEG end marker before the last row", "jpg", Jpeg(64, 64), Truncated},
      {"JPEG rows cut by another marker", "jpg", JpegCutByAMarker(), Damaged, true},
      {"PPM rows not in the file", "ppm", TBytes(ppm.begin(), ppm.end()), Truncated},
      {"GIF frame far larger than its data", "gif", Gif(16000, 16000), Truncated},
      {"GIF screen far larger than its frame", "gif", Gif(16384, 1), std::nullopt},
      {"TIFF rows not in the file", "tif", tiff.Bytes, Truncated},
      {"PCX run-length data far too short", "pcx", pcx.Bytes, Truncated},
      {"Targa run-length data far too short", "tga", targa.Bytes, Truncated},
      {"PNG icon image data far too short", "ico", ico.Bytes, Truncated},
      {"PSD rows not in the file", "psd", psd.Bytes, Truncated},
      {"WMF header claiming 16383 x 16383", "wmf", Wmf({wide}), std::nullopt},
      {"WMF filling that size again and again", "wmf", Wmf({wide, fill, fill, fill, fill, fill}),
       TooLarge},
  };
}

TEST(SmallFiles, CostLittleWhateverTheyClaim) {
  test::TTempDir dir;
  for (const TSmallFile& file : SmallFiles()) {
    ASSERT_LT(file.Bytes.size(), 1024u) << file.Name;
    const std::string fileName = dir.Path(std::string("small.") + file.Extension);
    test::WriteFileBytes(fileName, file.Bytes);
    for (const TPath path : {TPath::Memory, TPath::WholeFile, TPath::FirstRows}) {
      ExpectCheap(file, path, fileName);
    }
  }
}

// Reads a stream (standard input is one) of `length` bytes, or an endless one, through a pipe:
// 0 read whole, 1 refused as too large, 99 anything else.
int ReadStream(const TPixelLimits& limits, std::optional<std::uint64_t> length) {
  int fds[2];
  if (::pipe(fds) != 0) return 99;
  std::thread writer([fd = fds[1], length] {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);  // a refusal closes the pipe: EPIPE
    const std::vector<std::uint8_t> block(1 << 16, 7);
    for (std::uint64_t sent = 0; !length || sent < *length;) {
      const std::uint64_t n =
          length ? std::min<std::uint64_t>(block.size(), *length - sent) : block.size();
      const ssize_t done = ::write(fd, block.data(), static_cast<std::size_t>(n));
      if (done <= 0) break;
      sent += static_cast<std::uint64_t>(done);
    }
    ::close(fd);
  });
  int result = 99;
  try {
    const auto bytes = ReadPictureFile("/dev/fd/" + std::to_string(fds[0]), true, limits);
    if (length && bytes.size() == *length) result = 0;
  } catch (const EFileError&) {
    result = 1;
  }
  ::close(fds[0]);
  writer.join();
  return result;
}

// A stream of unknown length is refused as soon as it passes the limit, holding no more than
// the limit on the way (a buffer that doubles held twice as much), and one within it is read.
TEST(SmallFiles, AStreamIsCappedWhileItIsRead) {
  // Unmeasured, the stream is kept short, as the sanitizers slow each byte.
  const bool measured = !PENNACROW_SANITIZED && PENNACROW_OPTIMISED;
  const TPixelLimits limits{TPixelLimits{}.MaxPixels, measured ? 48 << 20 : 1000};
  const std::uint64_t limit = MaxPictureFileBytes(limits);
  EXPECT_EQ(ReadStream(limits, limit), 0);
  if (!measured) {
    EXPECT_EQ(ReadStream(limits, std::nullopt), 1);
    return;
  }
  const long before = ResidentKilobytes();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(ReadStream(limits, std::nullopt));
  int status = 0;
  rusage usage{};
  ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_LE(usage.ru_maxrss - before, static_cast<long>(limit / 1024 * 5 / 4));
}

}  // namespace
}  // namespace pennacrow
