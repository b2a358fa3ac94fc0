#pragma once
// Keyed, content-adaptive sealed writing into a JPEG's own quantised coefficients: the same
// sealed record, keys, keyed order and coder as the writing into a bitmap (adaptive/
// AdaptiveBitmap.h), over the coefficients instead of colour samples, with the UERD costs
// (adaptive/Uerd.h). A JPEG stays a JPEG: nothing is decompressed or compressed again, so the
// message survives every rewrite that keeps the coefficients (Huffman tables made afresh,
// progressive to sequential and back, markers dropped), and a real recompression loses it, which
// the reader reports as it reports a wrong password.
//
// Element e is coefficient e mod 64 (natural order) of block e div 64 of the planes one after
// the other: component by component, block rows from the top, blocks from the left. The DC
// coefficients are elements too, at UERD's cost for them; zero coefficients are elements as much
// as the others, since leaving them out would tie the cover's shape to what the writer changes.
//
// A write accepts at most half a bit, and is expected to stay hard to detect up to a tenth of a
// bit, per non-zero AC coefficient: the measure JPEG detectors are known by, where the share of
// zeros varies with the quality far more than the picture's size does.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "adaptive/AdaptiveBitmap.h"
#include "adaptive/KeyedSeal.h"
#include "crypto/Sealed.h"
#include "formats/JPEGCoefficients.h"

namespace pennacrow {

// Non-zero AC coefficients of the JPEG's blocks.
std::uint64_t NonZeroAcCoefficients(const TJpegCoefficients& jpeg);
// Coefficients with a change a write may make: those UERD's costs leave dry.
std::uint64_t UsableJpegCoefficients(const TJpegCoefficients& jpeg);

// What a write accepts, in bytes of text (as AdaptiveCapacity for a bitmap).
TAdaptiveCapacity AdaptiveJpegCapacity(const TJpegCoefficients& jpeg);

// Raises ENoAdaptiveRoom or ETextDoesNotFit when the content cannot be written into the JPEG;
// gives its capacity when it can.
TAdaptiveCapacity RequireAdaptiveJpegFits(const TJpegCoefficients& jpeg,
                                          const TSealedContent& content);

// Writes the content sealed under the password into the coefficients. Raises what
// RequireAdaptiveJpegFits raises before the key derivation and before any coefficient changes,
// and ESealedName for a file name that CheckSealedFileName refuses.
void HideAdaptiveJpeg(TJpegCoefficients& jpeg, std::string_view password,
                      const TSealedContent& content,
                      TSealParameters parameters = adaptive::KeyedSealParameters());

// False when the JPEG is too small to hold a keyed message; the second raises ENoAdaptiveRoom.
bool MayHoldAdaptiveJpeg(const TJpegCoefficients& jpeg);
void RequireMayHoldAdaptiveJpeg(const TJpegCoefficients& jpeg);

// The content the JPEG holds under the password. Raises ESealOpen for a wrong password, a JPEG
// without a keyed message, a recompressed one and a damaged one alike.
TSealedContent RevealAdaptiveJpeg(const TJpegCoefficients& jpeg, std::string_view password,
                                  TSealParameters parameters = adaptive::KeyedSealParameters());

// The whole write of both front ends: HideAdaptiveJpeg, then the new file's bytes, its markers
// kept or dropped. The result is read back before it is returned, and a file whose coefficients
// are not those written is an error, never a result; the JPEG is let go before, so that the two
// sets of coefficients never sit in memory together.
std::vector<std::uint8_t> HideAdaptiveInJpegFile(
    TJpegCoefficients jpeg, std::string_view password, const TSealedContent& content,
    bool keepMetadata, TSealParameters parameters = adaptive::KeyedSealParameters());

// True for a name a JPEG is saved under: .jpg, .jpeg, .jpe or .jfif, in any case.
bool IsJpegFileName(const std::string& fileName);
// True when the file begins as a JPEG does: a keyed write may then go into its coefficients.
bool IsJpegFile(const std::string& fileName);
// The name the save proposes for a keyed write into the coefficients of the JPEG loaded from
// fileName: the same name when it is a JPEG name, else the name with ".jpg".
std::string JpegSaveName(const std::string& fileName);
// The file such a write is saved as, from the name the user chose: that name when it is a JPEG
// name, with ".jpg" when it has no extension, none when its extension names another format.
std::optional<std::string> JpegSaveTarget(const std::string& chosen);

}  // namespace pennacrow
