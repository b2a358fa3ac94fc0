#pragma once
// The numbers by which the cipher family names its algorithms. They are what the classes answer
// as Id; nothing stores them, but they must not change.

namespace pennacrow {

constexpr int kCryptIdNone = -1;  // the abstract base classes
constexpr int kCryptIdSha1 = 2;
constexpr int kCryptIdRc4 = 19;

}  // namespace pennacrow
