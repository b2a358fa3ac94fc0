// Decoding speed and memory of the library decoders against the bare libraries.
//
//   pennacrow_bench_decode [DIR]
//
// Writes a 6000 x 4000 JPEG and a 6000 x 4000 RGB PNG into DIR (default: a temporary directory),
// then loads each through the format registry and decodes it with libjpeg / libpng directly
// into a plain buffer with the same settings, best of three runs each. Peak memory is measured
// in child processes (one per case, "--peak CASE FILE"), from getrusage's ru_maxrss.

#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "formats/Registry.h"
#include "picture/Bitmap.h"
#include "picture/PixelLimits.h"

namespace {

using namespace pennacrow;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A picture with smooth areas and some grain, like a photograph.
std::vector<std::uint8_t> SamplePixels() {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
  std::uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525 + 1013904223;
      const int grain = static_cast<int>(seed >> 29);
      std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * kWidth + x) * 3;
      p[0] = static_cast<std::uint8_t>((x / 24 + grain) & 0xFF);
      p[1] = static_cast<std::uint8_t>((y / 16 + grain) & 0xFF);
      p[2] = static_cast<std::uint8_t>(((x + y) / 40) & 0xFF);
    }
  }
  return rgb;
}

void WriteJpeg(const std::string& path, const std::vector<std::uint8_t>& rgb) {
  FILE* file = std::fopen(path.c_str(), "wb");
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + info.next_scanline * kWidth * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
}

void WritePng(const std::string& path, const std::vector<std::uint8_t>& rgb) {
  FILE* file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) {
    png_write_row(png, rgb.data() + static_cast<std::size_t>(y) * kWidth * 3);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

// The bare libraries, with the settings the decoders use, into one plain buffer. Errors are not
// expected on these files; libjpeg's and libpng's default handlers end the process.
std::vector<std::uint8_t> BareJpeg(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  info.dct_method = JDCT_FLOAT;
  info.do_block_smoothing = TRUE;
  jpeg_start_decompress(&info);
  const std::size_t stride = info.output_width * 3;
  std::vector<std::uint8_t> pixels(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[16];
    JDIMENSION n = 0;
    for (; n < 16 && info.output_scanline + n < info.output_height; ++n) {
      rows[n] = pixels.data() + (info.output_scanline + n) * stride;
    }
    jpeg_read_scanlines(&info, rows, n);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return pixels;
}

std::vector<std::uint8_t> BarePng(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_read_info(png, info);
  png_set_bgr(png);
  png_read_update_info(png, info);
  const std::size_t stride = png_get_rowbytes(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  std::vector<std::uint8_t> pixels(stride * height);
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + y * stride;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return pixels;
}

std::size_t ThroughRegistry(const std::string& path) {
  auto graphic = LoadGraphicFile(FileFormats(), path);
  const TBitmap* bitmap = graphic->GetBitmap();
  return bitmap ? bitmap->Bits().size() : 0;
}

double BestOfThree(const std::function<void()>& run) {
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

// Runs "--peak CASE FILE" in a child process and returns its peak resident set in MiB.
double PeakMiB(const std::string& self, const std::string& which, const std::string& file) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl(self.c_str(), self.c_str(), "--peak", which.c_str(), file.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss / 1024.0;  // ru_maxrss is in KiB on Linux
}

int Peak(const std::string& which, const std::string& file) {
  if (which == "registry") return ThroughRegistry(file) > 0 ? 0 : 1;
  if (which == "bare-jpeg") return BareJpeg(file).empty() ? 1 : 0;
  if (which == "bare-png") return BarePng(file).empty() ? 1 : 0;
  if (which == "idle") return 0;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) return Peak(argv[2], argv[3]);

  namespace fs = std::filesystem;
  const bool ownDir = argc < 2;
  const fs::path dir =
      ownDir ? fs::temp_directory_path() / ("pennacrow-bench-" + std::to_string(getpid()))
             : fs::path(argv[1]);
  fs::create_directories(dir);
  const std::string jpeg = (dir / "bench.jpg").string();
  const std::string png = (dir / "bench.png").string();
  {
    const std::vector<std::uint8_t> rgb = SamplePixels();
    WriteJpeg(jpeg, rgb);
    WritePng(png, rgb);
  }
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const double bitmapMiB = RowLengthFor(kWidth, 24) * kHeight / 1048576.0;
  const double limitMiB = 1.5 * bitmapMiB + 64;
  const double idle = PeakMiB(self, "idle", jpeg);

  std::printf("%d x %d, 24-bit bitmap %.1f MiB; memory target < %.1f MiB; idle process %.1f MiB\n",
              kWidth, kHeight, bitmapMiB, limitMiB, idle);
  std::printf("%-6s %12s %12s %7s %14s %14s\n", "format", "registry s", "bare s", "ratio",
              "registry MiB", "bare MiB");
  struct TCase {
    const char* Name;
    const std::string& File;
    std::function<void()> Bare;
    const char* BareMode;
  };
  const TCase cases[] = {
      {"JPEG", jpeg, [&] { BareJpeg(jpeg); }, "bare-jpeg"},
      {"PNG", png, [&] { BarePng(png); }, "bare-png"},
  };
  int status = 0;
  for (const TCase& c : cases) {
    const double registry = BestOfThree([&] { ThroughRegistry(c.File); });
    const double bare = BestOfThree(c.Bare);
    const double registryPeak = PeakMiB(self, "registry", c.File);
    const double barePeak = PeakMiB(self, c.BareMode, c.File);
    std::printf("%-6s %12.3f %12.3f %7.3f %14.1f %14.1f\n", c.Name, registry, bare, registry / bare,
                registryPeak, barePeak);
    if (registry / bare > 1.15 || registryPeak > limitMiB) status = 1;
  }
  if (ownDir) fs::remove_all(dir);
  std::printf("%s\n", status == 0 ? "within targets" : "OUTSIDE TARGETS");
  return status;
}
