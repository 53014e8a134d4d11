#include "packet/base64.h"

#include <array>
#include <cstdint>

namespace zoras {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int8_t kSkip = -2;
constexpr int8_t kBad = -1;

constexpr std::array<int8_t, 256> MakeDecodeTable() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = kBad;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  t[' '] = t['\t'] = t['\r'] = t['\n'] = kSkip;
  return t;
}
constexpr std::array<int8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

void AppendBase64(std::string& out, std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  out.reserve(out.size() + (n + 2) / 3 * 4);
  for (; n >= 3; n -= 3, p += 3) {
    const uint32_t v = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (n == 1) {
    const uint32_t v = uint32_t{p[0]} << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (n == 2) {
    const uint32_t v = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
}

bool DecodeBase64(std::string_view text, std::string* bytes) {
  bytes->clear();
  bytes->reserve(text.size() / 4 * 3);
  uint32_t acc = 0;
  int count = 0;    // sextets in acc
  int padding = 0;  // '=' seen
  for (char ch : text) {
    const int8_t d = kDecode[static_cast<unsigned char>(ch)];
    if (d == kSkip) continue;
    if (ch == '=') {
      // Padding only completes the last group: "xx==" or "xxx=".
      if (count < 2) return false;
      ++padding;
      ++count;
      acc <<= 6;
      if (count == 4) {
        if (padding == 2 && (acc & 0xFFFF) != 0) return false;
        bytes->push_back(static_cast<char>(acc >> 16));
        if (padding == 1) bytes->push_back(static_cast<char>((acc >> 8) & 0xFF));
        count = 0;
        acc = 0;
      }
      continue;
    }
    if (d == kBad || padding > 0) return false;
    acc = (acc << 6) | static_cast<uint32_t>(d);
    if (++count == 4) {
      bytes->push_back(static_cast<char>(acc >> 16));
      bytes->push_back(static_cast<char>((acc >> 8) & 0xFF));
      bytes->push_back(static_cast<char>(acc & 0xFF));
      count = 0;
      acc = 0;
    }
  }
  return count == 0;
}

}  // namespace zoras
