#include "formats/JPEGCoefficients.h"
#include "text/Translate.h"

#include "formats/JpegLib.h"

#include <jerror.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "picture/ByteReader.h"
#include "picture/Errors.h"

namespace pennacrow {

namespace {

using jpeg::kFormat;

bool StartsWith(const jpeg_saved_marker_ptr marker, const char* tag, std::size_t length) {
  return marker->data_length >= length && std::memcmp(marker->data, tag, length) == 0;
}

constexpr char kExifTag[] = "Exif\0\0";
constexpr std::size_t kExifTagLength = 6;
constexpr char kIccTag[] = "ICC_PROFILE\0";
constexpr std::size_t kIccTagLength = 12;

void KeepMarkers(j_decompress_ptr info) {
  jpeg_save_markers(info, JPEG_COM, 0xFFFF);
  for (int n = 0; n < 16; ++n) jpeg_save_markers(info, JPEG_APP0 + n, 0xFFFF);
}

// Phase 2: every coefficient of every scan.
bool ReadCoefficients(jpeg::TDecoder* d, jvirt_barray_ptr** arrays) {
  if (setjmp(d->Error.Jump)) return false;
  *arrays = jpeg_read_coefficients(&d->Info);
  return *arrays != nullptr;
}

// Phase 3: the rows of each plane. The planes lie whole in memory (there is no backing store),
// so a row's address stays what the library gives once.
bool MapRows(jpeg::TDecoder* d, jvirt_barray_ptr* arrays,
             std::vector<std::vector<JBLOCKROW>>& rows) {
  if (setjmp(d->Error.Jump)) return false;
  for (int c = 0; c < d->Info.num_components; ++c) {
    const JDIMENSION height = d->Info.comp_info[c].height_in_blocks;
    for (JDIMENSION row = 0; row < height; ++row) {
      rows[static_cast<std::size_t>(c)][row] = d->Info.mem->access_virt_barray(
          reinterpret_cast<j_common_ptr>(&d->Info), arrays[c], row, 1, TRUE)[0];
    }
  }
  return true;
}

bool SameTable(const JHUFF_TBL* a, const JHUFF_TBL* b) {
  if (b == nullptr) return false;
  int symbols = 0;
  for (int i = 1; i <= 16; ++i) {
    if (a->bits[i] != b->bits[i]) return false;
    symbols += a->bits[i];
  }
  return std::equal(a->huffval, a->huffval + std::min(symbols, 256), b->huffval);
}

// The source's Huffman tables are the standard ones the encoder was just given: coding with them
// again keeps the file's size, and they hold a code for every symbol.
bool StandardTables(const jpeg_decompress_struct& source, const jpeg_compress_struct& target) {
  for (int i = 0; i < NUM_HUFF_TBLS; ++i) {
    if (source.dc_huff_tbl_ptrs[i] != nullptr &&
        !SameTable(source.dc_huff_tbl_ptrs[i], target.dc_huff_tbl_ptrs[i])) {
      return false;
    }
    if (source.ac_huff_tbl_ptrs[i] != nullptr &&
        !SameTable(source.ac_huff_tbl_ptrs[i], target.ac_huff_tbl_ptrs[i])) {
      return false;
    }
  }
  return true;
}

// The encoder writes into memory a buffer at a time; a failed allocation is libjpeg's own error.
struct TMemoryTarget {
  jpeg_destination_mgr Manager;
  std::vector<std::uint8_t>* Out;
  std::vector<JOCTET> Buffer;  // of a fixed size, set before the write begins
};

void InitTarget(j_compress_ptr cinfo) {
  auto* target = static_cast<TMemoryTarget*>(cinfo->client_data);
  target->Manager.next_output_byte = target->Buffer.data();
  target->Manager.free_in_buffer = target->Buffer.size();
}

bool Append(TMemoryTarget* target, std::size_t count) {
  try {
    target->Out->insert(target->Out->end(), target->Buffer.data(), target->Buffer.data() + count);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

boolean EmptyTarget(j_compress_ptr cinfo) {
  auto* target = static_cast<TMemoryTarget*>(cinfo->client_data);
  if (!Append(target, target->Buffer.size())) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  InitTarget(cinfo);
  return TRUE;
}

void TermTarget(j_compress_ptr cinfo) {
  auto* target = static_cast<TMemoryTarget*>(cinfo->client_data);
  if (!Append(target, target->Buffer.size() - target->Manager.free_in_buffer)) {
    ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  }
}

struct TEncoder {
  jpeg_compress_struct Info{};
  jpeg::TErrorState Error{};
  TMemoryTarget Target{};
  TEncoder() = default;
  TEncoder(const TEncoder&) = delete;
  TEncoder& operator=(const TEncoder&) = delete;
  ~TEncoder() { jpeg_destroy_compress(&Info); }
};

// A marker the encoder writes itself from the parameters it copied.
bool WrittenByEncoder(const jpeg_saved_marker_ptr marker, const jpeg_compress_struct& target) {
  return (marker->marker == JPEG_APP0 && target.write_JFIF_header &&
          StartsWith(marker, "JFIF\0", 5)) ||
         (marker->marker == JPEG_APP0 + 14 && target.write_Adobe_marker &&
          StartsWith(marker, "Adobe", 5));
}

// The one phase of a write; with the source's own scan script when scans is not empty.
bool Encode(TEncoder* e, jpeg_decompress_struct* source, jvirt_barray_ptr* arrays,
            bool keepMetadata, std::span<const jpeg_scan_info> scans) {
  jpeg::InstallErrorHandlers(e->Error);
  e->Info.err = &e->Error.Manager;
  if (setjmp(e->Error.Jump)) return false;
  jpeg_create_compress(&e->Info);
  e->Target.Manager.init_destination = InitTarget;
  e->Target.Manager.empty_output_buffer = EmptyTarget;
  e->Target.Manager.term_destination = TermTarget;
  e->Info.dest = &e->Target.Manager;
  e->Info.client_data = &e->Target;
  jpeg_copy_critical_parameters(source, &e->Info);
  e->Info.restart_interval = source->restart_interval;
  e->Info.arith_code = source->arith_code;
  if (!scans.empty()) {
    e->Info.scan_info = scans.data();
    e->Info.num_scans = static_cast<int>(scans.size());
  } else if (source->progressive_mode) {
    jpeg_simple_progression(&e->Info);
  }
  if (!source->progressive_mode && !source->arith_code) {
    e->Info.optimize_coding = !StandardTables(*source, e->Info);
  }
  jpeg_write_coefficients(&e->Info, arrays);
  for (jpeg_saved_marker_ptr m = source->marker_list; m != nullptr; m = m->next) {
    if (WrittenByEncoder(m, e->Info)) continue;
    const bool frame = (m->marker == JPEG_APP0 && (StartsWith(m, "JFIF\0", 5))) ||
                       (m->marker == JPEG_APP0 + 14 && StartsWith(m, "Adobe", 5));
    // The JFIF and Adobe headers say how to read the colours: they stay even when the rest goes.
    if (!keepMetadata && !frame) continue;
    jpeg_write_marker(&e->Info, static_cast<int>(m->marker), m->data, m->data_length);
  }
  jpeg_finish_compress(&e->Info);
  return true;
}

std::uint32_t TiffWord(std::span<const std::uint8_t> t, std::size_t at, bool little, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    const std::uint32_t b = t[at + static_cast<std::size_t>(i)];
    value |= little ? b << (8 * i) : b << (8 * (bytes - 1 - i));
  }
  return value;
}

}  // namespace

bool LooksLikeJpeg(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

bool ExifHasGpsPosition(std::span<const std::uint8_t> tiff) {
  if (tiff.size() < 8) return false;
  const bool little = tiff[0] == 'I' && tiff[1] == 'I';
  if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return false;
  if (TiffWord(tiff, 2, little, 2) != 42) return false;
  // The entries of the directory at `at` with this tag: its value or offset, or nothing.
  auto find = [&](std::uint64_t at, std::uint32_t tag) -> std::optional<std::uint32_t> {
    if (at + 2 > tiff.size()) return std::nullopt;
    const std::uint32_t count = TiffWord(tiff, at, little, 2);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t entry = at + 2 + 12 * std::uint64_t{i};
      if (entry + 12 > tiff.size()) return std::nullopt;
      if (TiffWord(tiff, entry, little, 2) == tag) return TiffWord(tiff, entry + 8, little, 4);
    }
    return std::nullopt;
  };
  const std::optional<std::uint32_t> gps = find(TiffWord(tiff, 4, little, 4), 0x8825);
  if (!gps) return false;
  // GPSLatitude or GPSLongitude.
  return find(*gps, 2).has_value() || find(*gps, 4).has_value();
}

struct TJpegCoefficients::TImpl {
  std::size_t FileSize = 0;
  std::unique_ptr<TByteReader> Input;
  jpeg::TDecoder Decoder;
  jvirt_barray_ptr* Arrays = nullptr;
  std::vector<TJpegComponent> Components;
  std::vector<std::vector<JBLOCKROW>> Rows;
  TJpegMetadata Metadata;
};

TJpegCoefficients::TJpegCoefficients(std::span<const std::uint8_t> file, const TPixelLimits& limits)
    : FImpl(std::make_unique<TImpl>()) {
  TImpl& m = *FImpl;
  m.FileSize = file.size();
  m.Input = std::make_unique<TByteReader>(file, kFormat);
  jpeg::TDecoder& d = m.Decoder;
  if (!jpeg::ReadHeader(&d, *m.Input, limits, KeepMarkers)) jpeg::RaiseError(d);
  const jpeg_decompress_struct& info = d.Info;
  CheckPictureSize(limits, kFormat, info.image_width, info.image_height, 24);
  // The planes of every component are allocated at once, whatever the file's mode.
  jpeg::RequireCodedBlocks(d, info.image_height, true);
  if (!ReadCoefficients(&d, &m.Arrays)) jpeg::RaiseError(d);
  if (d.Error.EndOfData) throw TruncatedError(kFormat);
  // A file is only written again as it was read: data that did not decode is refused, where a
  // viewer would show it with a flaw.
  if (d.Error.CutSegment || d.Error.BadCode) {
    throw LibraryDamagedError(kFormat, d.Error.Message);
  }
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& ci = info.comp_info[c];
    TJpegComponent component;
    component.WidthInBlocks = ci.width_in_blocks;
    component.HeightInBlocks = ci.height_in_blocks;
    component.HorizontalSampling = ci.h_samp_factor;
    component.VerticalSampling = ci.v_samp_factor;
    const JQUANT_TBL* quant = ci.quant_table;
    if (quant == nullptr) throw DamagedError(kFormat, Tr("缺少量化表"));
    std::copy(quant->quantval, quant->quantval + 64, component.Quant.begin());
    m.Components.push_back(component);
    m.Rows.emplace_back(ci.height_in_blocks);
  }
  if (!MapRows(&d, m.Arrays, m.Rows)) jpeg::RaiseError(d);
  // libjpeg reads nothing more (it is never asked to finish the file), and the markers it kept
  // are its own copies: the file's bytes need not outlive this.
  for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
    if (marker->marker == JPEG_COM) {
      m.Metadata.Comment = true;
    } else if (marker->marker == JPEG_APP0 + 1 && StartsWith(marker, kExifTag, kExifTagLength)) {
      m.Metadata.Exif = true;
      m.Metadata.GpsPosition =
          m.Metadata.GpsPosition ||
          ExifHasGpsPosition({marker->data + kExifTagLength, marker->data_length - kExifTagLength});
    } else if (marker->marker == JPEG_APP0 + 2 && StartsWith(marker, kIccTag, kIccTagLength)) {
      m.Metadata.Icc = true;
    } else if (!(marker->marker == JPEG_APP0 &&
                 (StartsWith(marker, "JFIF\0", 5) || StartsWith(marker, "JFXX\0", 5))) &&
               !(marker->marker == JPEG_APP0 + 14 && StartsWith(marker, "Adobe", 5))) {
      m.Metadata.OtherApp = true;
    }
  }
}

TJpegCoefficients::TJpegCoefficients(TJpegCoefficients&&) noexcept = default;
TJpegCoefficients& TJpegCoefficients::operator=(TJpegCoefficients&&) noexcept = default;
TJpegCoefficients::~TJpegCoefficients() = default;

int TJpegCoefficients::ComponentCount() const {
  return static_cast<int>(FImpl->Components.size());
}

const TJpegComponent& TJpegCoefficients::Component(int c) const {
  return FImpl->Components[static_cast<std::size_t>(c)];
}

std::int16_t* TJpegCoefficients::Block(int c, std::uint32_t row, std::uint32_t column) {
  return FImpl->Rows[static_cast<std::size_t>(c)][row][column];
}

const std::int16_t* TJpegCoefficients::Block(int c, std::uint32_t row, std::uint32_t column) const {
  return FImpl->Rows[static_cast<std::size_t>(c)][row][column];
}

bool TJpegCoefficients::Progressive() const {
  return FImpl->Decoder.Info.progressive_mode;
}

const TJpegMetadata& TJpegCoefficients::Metadata() const {
  return FImpl->Metadata;
}

std::vector<std::uint8_t> TJpegCoefficients::Write(bool keepMetadata) const {
  std::vector<std::uint8_t> out;
  out.reserve(FImpl->FileSize + (FImpl->FileSize >> 4));
  const jpeg::TSource& source = FImpl->Decoder.Source;
  // A file of more than one scan is written with its own script, which keeps its size (an
  // encoder may have chosen it for this picture); a script the encoder refuses gives way to
  // libjpeg's usual one.
  const std::span<const jpeg_scan_info> script(source.Scans,
                                               source.ScanCount > 1 ? source.ScanCount : 0);
  for (const std::span<const jpeg_scan_info> scans : {script, std::span<const jpeg_scan_info>()}) {
    out.clear();
    TEncoder encoder;
    encoder.Target.Out = &out;
    encoder.Target.Buffer.resize(64 << 10);
    if (Encode(&encoder, &FImpl->Decoder.Info, FImpl->Arrays, keepMetadata, scans)) return out;
    if (scans.empty()) throw LibraryDamagedError(kFormat, encoder.Error.Message);
  }
  return out;
}

}  // namespace pennacrow
