#include "formats/JPEGImage.h"
#include "text/Translate.h"

#include "formats/JpegLib.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "picture/ByteReader.h"
#include "picture/Errors.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TJPEGImage::ClassInfo{"TJPEGImage", &TGraphic::ClassInfo,
                                          [] { return std::unique_ptr<TGraphic>(new TJPEGImage); }};

std::uint8_t JpegGreyIndex(std::uint8_t sample) {
  return static_cast<std::uint8_t>((sample * (kJpegGreyLevels - 1) + 127) / 255);
}

namespace {

using jpeg::kFormat;
using TJpegDecoder = jpeg::TDecoder;

// Phase 2: decoding parameters and the start of decompression.
bool JpegStart(TJpegDecoder* d, J_COLOR_SPACE out) {
  if (setjmp(d->Error.Jump)) return false;
  d->Info.out_color_space = out;
  d->Info.scale_num = 1;
  d->Info.scale_denom = 1;
  d->Info.dct_method = JDCT_FLOAT;
  d->Info.do_block_smoothing = TRUE;
  d->Info.buffered_image = FALSE;
  jpeg_start_decompress(&d->Info);
  return true;
}

// CMYK as Adobe writes it (inverted, so 255 means no ink) or as the plain convention (255 means
// full ink), to blue, green, red.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
    bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
    bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
  }
}

// Phase 3: the scanlines above lastRow straight into the bitmap's rows (CMYK through one
// scratch row).
bool JpegReadRows(TJpegDecoder* d, std::uint8_t* bits, std::size_t rowLength, std::uint8_t* cmykRow,
                  JDIMENSION lastRow) {
  if (setjmp(d->Error.Jump)) return false;
  jpeg_decompress_struct* info = &d->Info;
  const bool inverted = info->saw_Adobe_marker;
  while (info->output_scanline < lastRow) {
    std::uint8_t* row = bits + static_cast<std::size_t>(info->output_scanline) * rowLength;
    if (cmykRow != nullptr) {
      JSAMPROW target = cmykRow;
      if (jpeg_read_scanlines(info, &target, 1) != 1) break;
      CmykRowToBgr(cmykRow, row, info->output_width, inverted);
      continue;
    }
    // Several rows per call, so that libjpeg can upsample straight into them.
    std::array<JSAMPROW, 16> rows;
    JDIMENSION count = 0;
    for (; count < rows.size() && info->output_scanline + count < lastRow; ++count) {
      rows[count] = row + count * rowLength;
    }
    if (jpeg_read_scanlines(info, rows.data(), count) == 0) break;
  }
  if (info->output_scanline == info->output_height) jpeg_finish_decompress(info);
  return true;
}

// The scanlines above rowLimit, or all of them, into result; returns the picture's height.
JDIMENSION DecodeJpeg(TByteReader& input, JDIMENSION rowLimit, const TPixelLimits& limits,
                      TBitmap& result) {
  TJpegDecoder decoder;
  if (!jpeg::ReadHeader(&decoder, input, limits)) jpeg::RaiseError(decoder);
  const jpeg_decompress_struct& info = decoder.Info;
  CheckPictureSize(limits, kFormat, info.image_width, info.image_height, 24);
  jpeg::RequireCodedBlocks(decoder, rowLimit);

  J_COLOR_SPACE out;
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      out = JCS_GRAYSCALE;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      out = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      out = JCS_CMYK;
      break;
    default:
      throw UnsupportedError(kFormat, Tr("颜色空间"));
  }
  if (!JpegStart(&decoder, out)) jpeg::RaiseError(decoder);

  const JDIMENSION lastRow = std::min(rowLimit, info.output_height);
  TBitmap bitmap;
  bitmap.Allocate(static_cast<int>(info.output_width), static_cast<int>(lastRow),
                  out == JCS_GRAYSCALE ? 8 : 24);
  std::vector<std::uint8_t> cmykRow;
  if (out == JCS_CMYK) cmykRow.resize(static_cast<std::size_t>(info.output_width) * 4);
  const std::span<std::uint8_t> bits = bitmap.MutableBits();
  if (!JpegReadRows(&decoder, bits.data(), bitmap.RowLength(),
                    cmykRow.empty() ? nullptr : cmykRow.data(), lastRow)) {
    jpeg::RaiseError(decoder);
  }
  if (decoder.Error.EndOfData || info.output_scanline < lastRow) {
    throw TruncatedError(kFormat);
  }
  if (decoder.Error.CutSegment) throw DamagedError(kFormat, decoder.Error.Message);

  if (out == JCS_GRAYSCALE) {
    std::array<std::uint8_t, 256> index;
    for (int v = 0; v < 256; ++v) index[v] = JpegGreyIndex(static_cast<std::uint8_t>(v));
    for (std::uint8_t& b : bits) b = index[b];
    auto& palette = bitmap.Palette();
    palette.resize(kJpegGreyLevels);
    for (int i = 0; i < kJpegGreyLevels; ++i) {
      const auto level =
          static_cast<std::uint8_t>((i * 255 + (kJpegGreyLevels - 1) / 2) / (kJpegGreyLevels - 1));
      palette[i] = RGB(level, level, level);
    }
  }
  result = std::move(bitmap);
  return info.output_height;
}

}  // namespace

void TJPEGImage::LoadFromBytes(std::span<const std::uint8_t> data) {
  TByteReader input(data, kFormat);
  DecodeJpeg(input, UINT_MAX, Limits(), FBitmap);
}

void TJPEGImage::LoadFromFile(const std::string& fileName) {
  LoadFirstRows(fileName, INT_MAX);
}

std::optional<int> TJPEGImage::LoadFirstRows(const std::string& fileName, int rowCount) {
  const TPictureFile file(fileName, Limits());
  TByteReader input(file, kFormat);
  return static_cast<int>(
      DecodeJpeg(input, static_cast<JDIMENSION>(std::max(rowCount, 1)), Limits(), FBitmap));
}

}  // namespace pennacrow
