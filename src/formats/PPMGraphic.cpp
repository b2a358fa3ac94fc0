#include "formats/PPMGraphic.h"
#include "base/Translate.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

// libnetpbm's headers are C headers.
extern "C" {
#include <pam.h>
}

#include "picture/ByteReader.h"
#include "picture/Colour.h"
#include "picture/Errors.h"
#include "picture/PictureFile.h"
#include "picture/PixelLimits.h"

namespace pennacrow {

const TGraphicClass TPPMGraphic::ClassInfo{"TPPMGraphic", &TExtraFormatGraphic::ClassInfo, [] {
                                             return std::unique_ptr<TGraphic>(new TPPMGraphic);
                                           }};

namespace {

const char* const kFormat = "PPM";

// libnetpbm keeps its error handling for the whole process: one jump buffer, one message
// handler, and without a jump buffer an error prints itself and ends the process. Every use of
// the library, from setting the handlers to the last row read, runs inside one session under one
// lock, so that two pictures decoded at once never jump into each other's frames or lose each
// other's handlers.
class TNetpbmSession {
 public:
  TNetpbmSession() : FLock(Mutex()) {
    FMessage[0] = '\0';
    Current() = this;
    pm_setusererrormsgfn(ErrorMessage);
    pm_setusermessagefn(Message);
  }
  TNetpbmSession(const TNetpbmSession&) = delete;
  TNetpbmSession& operator=(const TNetpbmSession&) = delete;
  ~TNetpbmSession() {
    pm_setusererrormsgfn(nullptr);
    pm_setusermessagefn(nullptr);
    Current() = nullptr;
  }
  // libnetpbm's reason for the last error, in English.
  const char* Reason() const { return FMessage; }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  // The session the handlers speak to: only ever read or written under the lock.
  static TNetpbmSession*& Current() {
    static TNetpbmSession* session = nullptr;
    return session;
  }
  static void ErrorMessage(const char* message) {
    TNetpbmSession* session = Current();
    if (session != nullptr && session->FMessage[0] == '\0')
      std::snprintf(session->FMessage, sizeof session->FMessage, "%s", message);
  }
  static void Message(const char*) {}

  std::lock_guard<std::mutex> FLock;
  char FMessage[256];
};

struct TNetpbmState {
  FILE* File;
  std::jmp_buf Jump;
  std::jmp_buf* Previous;
  int Width, Height, Format;
  xelval Maxval;
};

// Phase 1: the header.
bool NetpbmReadHeader(TNetpbmState* s) {
  if (setjmp(s->Jump)) {
    pm_setjmpbuf(s->Previous);
    return false;
  }
  pm_setjmpbufsave(&s->Jump, &s->Previous);
  pnm_readpnminit(s->File, &s->Width, &s->Height, &s->Maxval, &s->Format);
  pm_setjmpbuf(s->Previous);
  return true;
}

std::uint8_t Scale(unsigned v, unsigned maxval) {
  return ScaleToByte(std::min(v, maxval), maxval);
}

// Phase 2: every row into the bitmap's rows. Bitmaps go in packed as they are; grey and colour
// samples through a row of the library's own type, scaled to 8 bits.
bool NetpbmReadRows(TNetpbmState* s, std::uint8_t* bits, std::size_t rowLength, gray* greys,
                    pixel* pixels) {
  if (setjmp(s->Jump)) {
    pm_setjmpbuf(s->Previous);
    return false;
  }
  pm_setjmpbufsave(&s->Jump, &s->Previous);
  const int type = PNM_FORMAT_TYPE(s->Format);
  for (int y = 0; y < s->Height; ++y) {
    std::uint8_t* row = bits + static_cast<std::size_t>(y) * rowLength;
    if (type == PBM_TYPE) {
      pbm_readpbmrow_packed(s->File, row, s->Width, s->Format);
    } else if (type == PGM_TYPE) {
      pgm_readpgmrow(s->File, greys, s->Width, s->Maxval, s->Format);
      for (int x = 0; x < s->Width; ++x) row[x] = Scale(greys[x], s->Maxval);
    } else {
      ppm_readppmrow(s->File, pixels, s->Width, s->Maxval, s->Format);
      for (int x = 0; x < s->Width; ++x, row += 3) {
        row[0] = Scale(PPM_GETB(pixels[x]), s->Maxval);
        row[1] = Scale(PPM_GETG(pixels[x]), s->Maxval);
        row[2] = Scale(PPM_GETR(pixels[x]), s->Maxval);
      }
    }
  }
  pm_setjmpbuf(s->Previous);
  return true;
}

// The fewest bytes that can hold the pixels after the header.
std::uint64_t MinimumPixelBytes(int format, int width, int height, xelval maxval) {
  const auto pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  const std::uint64_t sampleBytes = maxval > 255 ? 2 : 1;
  switch (format) {
    case RPBM_FORMAT:
      return (static_cast<std::uint64_t>(width) + 7) / 8 * static_cast<std::uint64_t>(height);
    case RPGM_FORMAT:
      return pixels * sampleBytes;
    case RPPM_FORMAT:
      return pixels * 3 * sampleBytes;
    case PPM_FORMAT:
      return pixels * 3;  // a digit per sample at least
    default:
      return pixels;  // plain PBM: one character per pixel; plain PGM: a digit per sample
  }
}

struct TFileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// libnetpbm reads a stdio stream; this one pulls from a byte stream, so that a file is read as
// the rows need it rather than copied into memory first.
struct TStreamCookie {
  TByteReader* Input;
  std::exception_ptr ReadFailure;  // the file could not be read; raised as it was
};

ssize_t CookieRead(void* cookie, char* out, std::size_t length) {
  auto* c = static_cast<TStreamCookie*>(cookie);
  try {
    const std::span<const std::uint8_t> part = c->Input->Next(length);
    if (!part.empty()) std::memcpy(out, part.data(), part.size());
    return static_cast<ssize_t>(part.size());
  } catch (...) {
    c->ReadFailure = std::current_exception();
    return -1;
  }
}

// Only for ftell: the position where the stream stands, which stdio corrects by what it holds.
int CookieSeek(void* cookie, off64_t* offset, int whence) {
  auto* c = static_cast<TStreamCookie*>(cookie);
  if (whence != SEEK_CUR || *offset != 0) return -1;
  *offset = static_cast<off64_t>(c->Input->Position());
  return 0;
}

// Every pixel takes at least one byte of a plain file and a fixed number of bits of a raw one:
// a file too short for the rows state asks for ends here, before they are allocated. The file
// stands just past the header.
void RequirePixelData(FILE* file, const TByteReader& input, const TNetpbmState& state) {
  const long headerEnd = std::ftell(file);
  const std::uint64_t available =
      headerEnd >= 0 && static_cast<std::uint64_t>(headerEnd) <= input.Size()
          ? input.Size() - headerEnd
          : 0;
  if (available < MinimumPixelBytes(state.Format, state.Width, state.Height, state.Maxval)) {
    throw TruncatedError(kFormat);
  }
}

// The colours a bitmap's bits and a grey map's bytes stand for; a colour picture has none.
void SetPalette(int type, TBitmap& bitmap) {
  if (type == PBM_TYPE) {
    bitmap.Palette() = {RGB(255, 255, 255), RGB(0, 0, 0)};  // a set bit is black
  } else if (type == PGM_TYPE) {
    bitmap.Palette() = GreyPalette();
  }
}

// The first rowLimit rows, or all of them, into result; returns the picture's height.
int DecodePnm(TByteReader& input, int rowLimit, const TPixelLimits& limits, TBitmap& result) {
  std::uint8_t magic[3];
  if (!input.ReadAt(0, magic, sizeof magic) || !TPPMGraphic::HeaderLooksValid(magic)) {
    throw InvalidFormatError(kFormat);
  }
  TStreamCookie cookie{&input, nullptr};
  std::unique_ptr<FILE, TFileCloser> file(
      fopencookie(&cookie, "rb", cookie_io_functions_t{CookieRead, nullptr, CookieSeek, nullptr}));
  if (!file) throw std::bad_alloc();
  const TNetpbmSession session;
  TNetpbmState state{};
  state.File = file.get();
  auto fail = [&]() {
    if (cookie.ReadFailure) std::rethrow_exception(cookie.ReadFailure);
    if (std::feof(file.get())) throw TruncatedError(kFormat);
    throw LibraryDamagedError(kFormat, session.Reason());
  };
  if (!NetpbmReadHeader(&state)) fail();

  const int type = PNM_FORMAT_TYPE(state.Format);
  const int bpp = type == PBM_TYPE ? 1 : type == PGM_TYPE ? 8 : 24;
  CheckPictureSize(limits, kFormat, state.Width, state.Height, bpp);
  // A picture without pixels is no picture; worse, a zero width lets a header declare millions
  // of empty rows that would each be read and walked.
  if (state.Width == 0 || state.Height == 0) {
    throw DamagedError(kFormat, Tr("宽度或高度为 0"));
  }
  if (type != PBM_TYPE && state.Maxval == 0) fail();
  const int height = state.Height;
  state.Height = std::min(height, rowLimit);
  RequirePixelData(file.get(), input, state);

  TBitmap bitmap;
  bitmap.Allocate(state.Width, state.Height, bpp);  // the rows read: state.Height is their count
  std::vector<gray> greys(type == PGM_TYPE ? static_cast<std::size_t>(state.Width) : 0);
  std::vector<pixel> pixels(type == PPM_TYPE ? static_cast<std::size_t>(state.Width) : 0);
  if (!NetpbmReadRows(&state, bitmap.MutableBits().data(), bitmap.RowLength(), greys.data(),
                      pixels.data())) {
    fail();
  }
  if (cookie.ReadFailure) std::rethrow_exception(cookie.ReadFailure);
  // A plain file's last number may have been cut where the file ends; rows read from the top
  // count only when the data went on past them.
  if (state.Height < height && std::feof(file.get())) throw TruncatedError(kFormat);
  SetPalette(type, bitmap);
  result = std::move(bitmap);
  return height;
}

}  // namespace

bool TPPMGraphic::HeaderLooksValid(std::span<const std::uint8_t> head) {
  // P1 to P6 only; libnetpbm would also take PAM (P7), which has no entry here.
  return head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6';
}

void TPPMGraphic::LoadFromBytes(std::span<const std::uint8_t> data) {
  TBitmap bitmap;
  TByteReader input(data, kFormat);
  DecodePnm(input, INT_MAX, Limits(), bitmap);
  TBitmap::operator=(std::move(bitmap));
}

// Also the whole load from a file: the rows are read from the file as libnetpbm asks for them.
std::optional<int> TPPMGraphic::LoadFirstRows(const std::string& fileName, int rowCount) {
  const TPictureFile file(fileName, Limits());
  TByteReader input(file, kFormat);
  TBitmap bitmap;
  const int height = DecodePnm(input, std::max(rowCount, 1), Limits(), bitmap);
  TBitmap::operator=(std::move(bitmap));
  return height;
}

}  // namespace pennacrow
