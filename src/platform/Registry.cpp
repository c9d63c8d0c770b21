#include "platform/Registry.h"

#include "text/Gbk.h"

namespace pelvar::platform {

RegValue RegValue::Text(const std::string& utf8) {
  RegValue value{RegType::kSz, text::Utf8ToGbk(utf8)};
  value.data.push_back('\0');
  return value;
}

RegValue RegValue::Number(std::int32_t number) {
  auto bits = static_cast<std::uint32_t>(number);
  RegValue value{RegType::kDword, {}};
  for (int i = 0; i < 4; ++i)
    value.data.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
  return value;
}

std::string RegValue::AsText() const {
  return text::GbkToUtf8(std::string_view(data).substr(0, data.find('\0')));
}

std::int32_t RegValue::AsNumber() const {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < data.size() && i < 4; ++i) {
    bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  }
  return static_cast<std::int32_t>(bits);
}

}  // namespace pelvar::platform
