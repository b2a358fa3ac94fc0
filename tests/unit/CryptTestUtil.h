#pragma once
// Independent references for the cipher tests: textbook RC4 and Base64, written here from the
// published descriptions rather than shared with the code under test.

#include <cstdint>
#include <string>
#include <vector>

namespace pennacrow::test {

std::vector<std::uint8_t> FromHex(const std::string& hex);
std::string Bytes(const std::vector<std::uint8_t>& bytes);
// Standard RC4: key schedule, then one continuous keystream over data.
std::string ReferenceRc4(const std::vector<std::uint8_t>& key, const std::string& data);
// RFC 4648 Base64 with padding.
std::string ReferenceBase64(const std::string& data);

}  // namespace pennacrow::test
