#pragma once
// Keyed, content-adaptive sealed writing into a bitmap: the sealed record (a text, or a file and
// its name) goes where the key and the picture's texture say, by ±1 changes of its colour
// samples, with nothing at a fixed place. Without the password such a picture is a picture:
// info finds no container in it, and a reader with a wrong password learns exactly as much as
// one who reads a picture that holds nothing.
//
// The carrier samples are every colour byte of the pixels: blue, green and red of 24- and 32-bit
// pixels (alpha never changes), or the one byte of an 8-bit grey picture (its colour table the
// ramp 0..255). Element e is channel e mod C of pixel e div C, pixels row by row from the top
// left, channels in the order the bytes lie (blue, green, red). Samples at 0 and 255 never change:
// clipped areas keep their flat ends, which is where a ±1 change is easiest to see.

#include <cstdint>
#include <string_view>

#include "adaptive/KeyedSeal.h"
#include "crypto/Sealed.h"
#include "picture/Bitmap.h"

namespace pennacrow {

// The bitmap cannot hold a keyed message at all: too small, or no sample free to change.
class ENoAdaptiveRoom : public EPennacrowError {
 public:
  using EPennacrowError::EPennacrowError;
};

// Carrier samples per pixel as the bitmap stands: 3 for 24 and 32 bits, 1 for an 8-bit grey
// ramp, 0 for any other layout (which PrepareAdaptiveCarrier converts first).
int AdaptiveChannels(const TBitmap& bitmap);

// Gives the bitmap a layout with carrier samples: an indexed bitmap whose colours are all grey
// becomes an 8-bit grey ramp (changing its three channels apart would colour a grey picture),
// any other layout but 24 and 32 bits becomes 24 bits.
void PrepareAdaptiveCarrier(TBitmap& bitmap);

// What a write accepts, in bytes of text (a file takes one byte more and its name's bytes):
// the largest the mode takes, and the most at which detectors are expected to stay near chance.
struct TAdaptiveCapacity {
  std::uint64_t Largest = 0;
  std::uint64_t Tolerated = 0;
};
// Of this bitmap as a write would prepare it, counting the samples free to change.
TAdaptiveCapacity AdaptiveCapacity(const TBitmap& bitmap);
// Of a picture with the layout of rows (its first rows suffice) and this height, as if every
// sample were free to change: what info tells without decoding the whole picture.
TAdaptiveCapacity AdaptiveCapacityBound(const TBitmap& rows, int height);

// Of any cover with this many elements, usable of them free to change.
TAdaptiveCapacity KeyedCapacity(std::uint64_t elements, std::uint64_t usable);
// Raises ENoAdaptiveRoom (in a bitmap's words) or ETextDoesNotFit when the content does not fit
// a carrier of this capacity.
void RequireContentFits(const TAdaptiveCapacity& capacity, const TSealedContent& content);

// Raises ENoAdaptiveRoom or ETextDoesNotFit when the content cannot be written into the bitmap.
void RequireAdaptiveFits(const TBitmap& bitmap, const TSealedContent& content);

// Prepares the bitmap and writes the content sealed under the password. Raises what
// RequireAdaptiveFits raises before the key derivation and before any pixel changes, and
// ESealedName for a file name that CheckSealedFileName refuses.
void HideAdaptive(TBitmap& bitmap, std::string_view password, const TSealedContent& content,
                  TSealParameters parameters = adaptive::KeyedSealParameters());

// False when the bitmap, as it is, cannot hold a keyed message: a reader says so without asking
// for a password. The second raises ENoAdaptiveRoom, with the words for it, instead.
bool MayHoldAdaptive(const TBitmap& bitmap);
void RequireMayHoldAdaptive(const TBitmap& bitmap);

// The content a bitmap holds under the password. Raises ESealOpen for a wrong password, a
// picture without a keyed message and a damaged one alike, ENoAdaptiveRoom when
// MayHoldAdaptive is false, and ESealedName when the stored name of a file is refused.
TSealedContent RevealAdaptive(const TBitmap& bitmap, std::string_view password,
                              TSealParameters parameters = adaptive::KeyedSealParameters());

}  // namespace pennacrow
