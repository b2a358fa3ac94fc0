#pragma once
// Sealed containers: a sealed payload carried in the version 2 layout (format byte 4, the 16-bit
// length, the payload's bytes). Readers of earlier releases see an unknown format and read
// nothing, which is what a sealed picture should give them.

#include <string>
#include <string_view>

#include "codec/Container.h"
#include "crypto/Sealed.h"
#include "picture/Bitmap.h"

namespace pennacrow {

// The largest text a sealed container in a picture of this size holds: the capacity less the
// container's 3 header bytes and the seal's overhead, within what the 16-bit length can say.
// A file takes one byte more and its name's bytes.
int SealedCapacity(int width, int height);

// Raises ETextDoesNotFit unless the sealed content fits a picture of the bitmap's size.
void RequireSealedFits(const TBitmap& bitmap, const TSealedContent& content);

// Seals content under password and writes it as a format 4 container. Raises ETextDoesNotFit,
// before the key derivation and before any pixel changes, when it does not fit.
void HideSealed(TBitmap& bitmap, std::string_view password, const TSealedContent& content,
                TSealParameters parameters = DefaultSealParameters(),
                TLowBitWriting writing = TLowBitWriting::Replace);

// The sealed payload of a format 4 container. Raises ESealOpen when the picture holds no
// format 4 container or its length runs past the picture: a changed length is damage like any
// other changed bit.
std::string ReadSealedPayload(const TBitmap& bitmap);

}  // namespace pennacrow
