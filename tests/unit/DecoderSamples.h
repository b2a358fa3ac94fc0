#pragma once
// Picture files made in memory with the same libraries the decoders use (or by hand), so that
// every test knows the exact pixel values it should get back.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pennacrow::test {

using TBytes = std::vector<std::uint8_t>;

// One PNG chunk: length, type, data, CRC.
TBytes PngChunk(const std::string& type, const TBytes& data);
// A PNG from packed, unfiltered rows (each ceil(width x bits per pixel / 8) bytes, big-endian
// 16-bit samples); extra chunks go between IHDR and PLTE (or IDAT).
struct TPngSample {
  TPngSample(int width, int height, int colorType, int bitDepth, TBytes rows, TBytes palette = {})
      : Width(width),
        Height(height),
        ColorType(colorType),
        BitDepth(bitDepth),
        Rows(std::move(rows)),
        Palette(std::move(palette)) {}
  int Width, Height, ColorType, BitDepth;
  TBytes Rows;
  TBytes Palette;  // RGB triples, for colour type 3
  std::vector<std::pair<std::string, TBytes>> Extra;
};
TBytes MakePng(const TPngSample& sample);
TBytes BigEndian32(std::uint32_t v);

struct TTiffSample {
  int Width = 1, Height = 1, BitsPerSample = 8, SamplesPerPixel = 1;
  int Photometric = 1;  // min-is-black
  int Planar = 1;       // contiguous
  int Compression = 1;  // none
  bool Tiled = false;
  int Orientation = 1;                   // top left
  int ExtraSamples = 0;                  // how many of the samples are (unassociated) alpha
  std::vector<std::uint16_t> ColourMap;  // red, then green, then blue (3 x 2^bits)
  TBytes Rows;  // packed rows in file order (plane after plane when separate), host byte order
};
TBytes MakeTiff(const TTiffSample& sample);

struct TGifColour {
  std::uint8_t Red, Green, Blue;
};
struct TGifSample {
  int Width = 1, Height = 1;
  std::vector<TGifColour> Colours;  // a power of two entries
  TBytes Indices;                   // one per pixel, top row first
  int Transparent = -1;
  bool Interlace = false;
};
TBytes MakeGif(const TGifSample& sample);

// How MakeJpeg encodes beyond libjpeg's defaults.
struct TJpegSettings {
  int Quality = 100;
  int LumaSampling = 1;  // the first component's factor both ways: 1 for 4:4:4, 2 for 4:2:0
  bool Progressive = false;
  int RestartRows = 0;
  bool Optimize = false;
  bool Arithmetic = false;
  bool OwnScript = false;  // progressive by spectral selection alone, one component a scan
};
// A JPEG, baseline unless the settings say otherwise; components is 1 (grey) or 3 (RGB samples,
// red first).
TBytes MakeJpeg(int width, int height, int components, const TBytes& samples,
                const TJpegSettings& settings);
TBytes MakeJpeg(int width, int height, int components, const TBytes& samples, int quality = 100);

}  // namespace pennacrow::test
