#include "DecoderSamples.h"

#include <gif_lib.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>

#include "TestUtil.h"

namespace pennacrow::test {

TBytes BigEndian32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

TBytes PngChunk(const std::string& type, const TBytes& data) {
  TBytes chunk = BigEndian32(static_cast<std::uint32_t>(data.size()));
  chunk.insert(chunk.end(), type.begin(), type.end());
  chunk.insert(chunk.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  const TBytes c = BigEndian32(static_cast<std::uint32_t>(crc));
  chunk.insert(chunk.end(), c.begin(), c.end());
  return chunk;
}

TBytes MakePng(const TPngSample& sample) {
  static const int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
  const std::size_t rowBytes =
      (static_cast<std::size_t>(sample.Width) * kChannels[sample.ColorType] * sample.BitDepth + 7) /
      8;
  TBytes raw;
  for (int y = 0; y < sample.Height; ++y) {
    raw.push_back(0);  // filter None
    raw.insert(raw.end(), sample.Rows.begin() + y * rowBytes,
               sample.Rows.begin() + (y + 1) * rowBytes);
  }
  uLongf size = compressBound(raw.size());
  TBytes compressed(size);
  compress(compressed.data(), &size, raw.data(), raw.size());
  compressed.resize(size);

  TBytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  TBytes ihdr = BigEndian32(sample.Width);
  const TBytes h = BigEndian32(sample.Height);
  ihdr.insert(ihdr.end(), h.begin(), h.end());
  ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(sample.BitDepth),
                           static_cast<std::uint8_t>(sample.ColorType), 0, 0, 0});
  auto append = [&](const TBytes& chunk) { png.insert(png.end(), chunk.begin(), chunk.end()); };
  append(PngChunk("IHDR", ihdr));
  for (const auto& [type, data] : sample.Extra) append(PngChunk(type, data));
  if (!sample.Palette.empty()) append(PngChunk("PLTE", sample.Palette));
  append(PngChunk("IDAT", compressed));
  append(PngChunk("IEND", {}));
  return png;
}

TBytes MakeTiff(const TTiffSample& sample) {
  TTempDir dir;
  const std::string path = dir.Path("sample.tif");
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) throw std::runtime_error("TIFFOpen failed");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, sample.Width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, sample.Height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, sample.BitsPerSample);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, sample.SamplesPerPixel);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, sample.Photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, sample.Planar);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, sample.Compression);
  if (sample.Compression == COMPRESSION_JPEG && sample.Photometric == PHOTOMETRIC_YCBCR) {
    TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  }
  if (sample.Photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
  if (sample.Orientation != ORIENTATION_TOPLEFT) {
    TIFFSetField(tif, TIFFTAG_ORIENTATION, sample.Orientation);
  }
  if (sample.ExtraSamples > 0) {
    std::vector<std::uint16_t> kinds(sample.ExtraSamples, EXTRASAMPLE_UNASSALPHA);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, sample.ExtraSamples, kinds.data());
  }
  if (!sample.ColourMap.empty()) {
    const std::size_t n = sample.ColourMap.size() / 3;
    TIFFSetField(tif, TIFFTAG_COLORMAP, sample.ColourMap.data(), sample.ColourMap.data() + n,
                 sample.ColourMap.data() + 2 * n);
  }
  const int planes = sample.Planar == PLANARCONFIG_SEPARATE ? sample.SamplesPerPixel : 1;
  const std::size_t rowBytes =
      (static_cast<std::size_t>(sample.Width) * sample.BitsPerSample *
           (sample.Planar == PLANARCONFIG_SEPARATE ? 1 : sample.SamplesPerPixel) +
       7) /
      8;
  if (sample.Tiled) {
    // 16 x 16 tiles cut from the same rows; the parts past the picture's edges are zero.
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    const std::size_t tileRow = static_cast<std::size_t>(TIFFTileRowSize(tif));
    for (int p = 0; p < planes; ++p) {
      for (int y0 = 0; y0 < sample.Height; y0 += 16) {
        for (int x0 = 0; x0 < sample.Width; x0 += 16) {
          TBytes tile(static_cast<std::size_t>(TIFFTileSize(tif)), 0);
          const std::size_t from = static_cast<std::size_t>(x0 / 16) * tileRow;
          for (int y = y0; y < sample.Height && y < y0 + 16; ++y) {
            const std::size_t n = std::min(tileRow, rowBytes - from);
            std::memcpy(tile.data() + (y - y0) * tileRow,
                        sample.Rows.data() + (p * sample.Height + y) * rowBytes + from, n);
          }
          TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, static_cast<std::uint16_t>(p)),
                               tile.data(), static_cast<tmsize_t>(tile.size()));
        }
      }
    }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, sample.Compression == COMPRESSION_JPEG ? 16 : 2);
    TBytes line(rowBytes);
    for (int p = 0; p < planes; ++p) {
      for (int y = 0; y < sample.Height; ++y) {
        std::memcpy(line.data(), sample.Rows.data() + (p * sample.Height + y) * rowBytes, rowBytes);
        if (TIFFWriteScanline(tif, line.data(), y, static_cast<std::uint16_t>(p)) < 0) {
          TIFFClose(tif);
          throw std::runtime_error("TIFFWriteScanline failed");
        }
      }
    }
  }
  TIFFClose(tif);
  return ReadFileBytes(path);
}

namespace {
int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<TBytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}
}  // namespace

TBytes MakeGif(const TGifSample& sample) {
  TBytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, GifWrite, &error);
  if (gif == nullptr) throw std::runtime_error("EGifOpen failed");
  std::vector<GifColorType> colours;
  for (const TGifColour& c : sample.Colours) colours.push_back({c.Red, c.Green, c.Blue});
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, sample.Width, sample.Height, map->BitsPerPixel, 0, map);
  if (sample.Transparent >= 0) {
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = sample.Transparent;
    GifByteType block[4];
    EGifGCBToExtension(&gcb, block);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
  }
  EGifPutImageDesc(gif, 0, 0, sample.Width, sample.Height, sample.Interlace, nullptr);
  TBytes line(sample.Width);
  auto put = [&](int y) {
    std::memcpy(line.data(), sample.Indices.data() + y * sample.Width, sample.Width);
    EGifPutLine(gif, line.data(), sample.Width);
  };
  if (sample.Interlace) {
    static const int kStart[] = {0, 4, 2, 1};
    static const int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = kStart[pass]; y < sample.Height; y += kStep[pass]) put(y);
    }
  } else {
    for (int y = 0; y < sample.Height; ++y) put(y);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

TBytes MakeJpeg(int width, int height, int components, const TBytes& samples, int quality) {
  return MakeJpeg(width, height, components, samples, TJpegSettings{.Quality = quality});
}

TBytes MakeJpeg(int width, int height, int components, const TBytes& samples,
                const TJpegSettings& settings) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, settings.Quality, TRUE);
  if (components == 3) {
    for (int c = 0; c < 3; ++c) {
      info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor =
          c == 0 ? settings.LumaSampling : 1;
    }
  }
  if (settings.Progressive) jpeg_simple_progression(&info);
  const jpeg_scan_info script[] = {{3, {0, 1, 2}, 0, 0, 0, 0},
                                   {1, {0}, 1, 9, 0, 0},
                                   {1, {0}, 10, 63, 0, 0},
                                   {1, {1}, 1, 63, 0, 0},
                                   {1, {2}, 1, 63, 0, 0}};
  if (settings.OwnScript) {
    info.scan_info = script;
    info.num_scans = 5;
  }
  info.restart_in_rows = settings.RestartRows;
  info.optimize_coding = settings.Optimize;
  info.arith_code = settings.Arithmetic;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(samples.data() + std::size_t(info.next_scanline) * width * components);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  TBytes out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

}  // namespace pennacrow::test
