// The accepted publishers. Their names are kept encoded in the program, so that none of them can
// be read out of it, and each is decoded the first time a comparison reaches it.
#include "launch/allowed_publishers.h"
#include "launch/allowed_publishers_decoding.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "launch/verify_publisher.h"

namespace {

constexpr std::size_t kMaxNameUnits = 48;

struct EncodedName {
  std::uint32_t units[kMaxNameUnits] = {};
  std::size_t length = 0;
};

// A key stream that differs for every name and position.
constexpr std::uint32_t Key(std::size_t name, std::size_t position) {
  std::uint32_t x = 0x9E3779B9u * static_cast<std::uint32_t>(name + 1) +
                    0x85EBCA6Bu * static_cast<std::uint32_t>(position + 7);
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// Encoded while compiling: the plain text never reaches the program.
template <std::size_t N>
consteval EncodedName Encode(std::size_t index, const wchar_t (&text)[N]) {
  static_assert(N - 1 <= kMaxNameUnits, "an accepted name is longer than its buffer");
  EncodedName encoded;
  encoded.length = N - 1;
  for (std::size_t i = 0; i < N - 1; ++i) {
    encoded.units[i] = static_cast<std::uint32_t>(text[i]) ^ Key(index, i);
  }
  return encoded;
}

constexpr EncodedName kEncoded[kAllowedPublisherCount] = {
    Encode(0, L"Vistrel Software Co., Ltd."),
    Encode(1, L"Vistrel Technology Co., Ltd."),
    Encode(2, L"Vistrel Imaging Technology (Beijing) Co., Ltd."),
    Encode(3, L"Vistrel Network Technology Co., Ltd."),
    Encode(4, L"Vistrel Information Technology Co., Ltd."),
    Encode(5, L"Vistrel Digital Media Co., Ltd."),
    Encode(6, L"Vistrel Interactive Co., Ltd."),
    Encode(7, L"Vistrel Cloud Services Co., Ltd."),
    Encode(8, L"Vistrel Security Technology Co., Ltd."),
    Encode(9, L"Vistrel Software (Shenzhen) Co., Ltd."),
    Encode(10, L"Vistrel Online Co., Ltd."),
    Encode(11, L"Vistrel Studio Limited"),
    Encode(12, L"Vistrel International Limited"),
    Encode(13, L"Vistrel (Hong Kong) Limited"),
    Encode(14, L"Vistrel Inc."),
    Encode(15, L"Vistrel Labs"),
    Encode(16, L"Vistrel Viewer Team"),
    Encode(17, L"Vistrel Code Signing"),
    Encode(18, L"北京维斯特瑞软件有限公司"),
    Encode(19, L"上海维斯特瑞信息技术有限公司"),
    Encode(20, L"深圳维斯特瑞科技有限公司"),
    Encode(21, L"维斯特瑞（香港）有限公司"),
    Encode(22, L"Kitbase Technology Co., Ltd."),
};

// Each name's own buffer and once-flag; decoded text stays for the life of the process.
struct DecodedName {
  std::once_flag once;
  std::atomic<bool> decoded{false};
  wchar_t text[kMaxNameUnits + 1] = {};
};

DecodedName g_decoded[kAllowedPublisherCount];

const wchar_t* Decoded(std::size_t index) {
  DecodedName& slot = g_decoded[index];
  std::call_once(slot.once, [&slot, index] {
    const EncodedName& encoded = kEncoded[index];
    for (std::size_t i = 0; i < encoded.length; ++i) {
      slot.text[i] = static_cast<wchar_t>(encoded.units[i] ^ Key(index, i));
    }
    slot.text[encoded.length] = L'\0';
    slot.decoded.store(true, std::memory_order_release);
  });
  return slot.text;
}

}  // namespace

std::int32_t IsAllowedPublisher(const wchar_t* name) {
  if (name == nullptr)
    return 0;
  const std::wstring candidate(name);
  for (std::size_t index = 0; index < kAllowedPublisherCount; ++index) {
    // Same length and the same units at every position: no case folding, no trimming.
    if (candidate == Decoded(index))
      return 1;
  }
  return 0;
}

bool IsAllowedPublisherDecoded(std::size_t index) {
  return index < kAllowedPublisherCount && g_decoded[index].decoded.load(std::memory_order_acquire);
}
