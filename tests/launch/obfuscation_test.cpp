// No accepted publisher's name can be read out of the programs that hold the list: not as
// narrow text, nor as UTF-16 or UTF-32.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

std::string Encode(const std::u32string& text, int width) {
  std::string bytes;
  for (char32_t c : text) {
    if (width == 1) {
      if (c < 0x80) {
        bytes += static_cast<char>(c);
      } else if (c < 0x800) {
        bytes += static_cast<char>(0xC0 | (c >> 6));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        bytes += static_cast<char>(0xE0 | (c >> 12));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
      }
    } else {
      for (int i = 0; i < width; ++i)
        bytes += static_cast<char>((c >> (8 * i)) & 0xFF);
    }
  }
  return bytes;
}

TEST(AllowList, NoNameAppearsInAnyProgramThatHoldsTheList) {
  const std::vector<std::u32string> names = {U"Vistrel Software Co., Ltd.",
                                             U"Vistrel Technology Co., Ltd.",
                                             U"Vistrel Imaging Technology (Beijing) Co., Ltd.",
                                             U"Vistrel Network Technology Co., Ltd.",
                                             U"Vistrel Information Technology Co., Ltd.",
                                             U"Vistrel Digital Media Co., Ltd.",
                                             U"Vistrel Interactive Co., Ltd.",
                                             U"Vistrel Cloud Services Co., Ltd.",
                                             U"Vistrel Security Technology Co., Ltd.",
                                             U"Vistrel Software (Shenzhen) Co., Ltd.",
                                             U"Vistrel Online Co., Ltd.",
                                             U"Vistrel Studio Limited",
                                             U"Vistrel International Limited",
                                             U"Vistrel (Hong Kong) Limited",
                                             U"Vistrel Inc.",
                                             U"Vistrel Labs",
                                             U"Vistrel Viewer Team",
                                             U"Vistrel Code Signing",
                                             U"北京维斯特瑞软件有限公司",
                                             U"上海维斯特瑞信息技术有限公司",
                                             U"深圳维斯特瑞科技有限公司",
                                             U"维斯特瑞（香港）有限公司",
                                             U"Kitbase Technology Co., Ltd."};
  const auto bin = testing_support::BinDir();
  for (const auto& program : {bin / "tidyhand", bin / "tidysign", bin / "kitbase.dll",
                              bin.parent_path() / "lib/liballowed_publishers.a"}) {
    const std::string bytes = testing_support::ReadFile(program);
    ASSERT_FALSE(bytes.empty()) << program;
    for (const auto& name : names) {
      for (int width : {1, 2, 4}) {
        EXPECT_EQ(bytes.find(Encode(name, width)), std::string::npos)
            << program << " holds a name in " << width * 8 << "-bit units";
      }
    }
  }
}

}  // namespace
