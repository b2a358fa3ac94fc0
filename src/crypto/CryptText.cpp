#include "crypto/CryptText.h"

#include <stdexcept>

namespace pennacrow {

std::string EncryptTextWithPassword(const std::string&, const std::string&) {
  throw std::runtime_error("加密尚未实现");
}

std::string DecryptTextWithPassword(const std::string&, const std::string&) {
  throw std::runtime_error("解密尚未实现");
}

}  // namespace pennacrow
