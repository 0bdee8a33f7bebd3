// SPDX-License-Identifier: MIT
#include "scanner/hex_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace k8map {
namespace {

constexpr std::uint32_t kUntouched = 0xDEADBEEF;

struct HexCase {
  std::string text;
  int code;
  std::uint32_t slot;  // expected slot afterwards; kUntouched on failure
};

class ConvertHexTextTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(ConvertHexTextTest, CodeAndSlot) {
  const HexCase& c = GetParam();
  std::string caller = c.text;
  std::uint32_t slot = kUntouched;
  EXPECT_EQ(ConvertHexText(caller.c_str(), &slot), c.code) << '"' << c.text << '"';
  EXPECT_EQ(slot, c.slot) << '"' << c.text << '"';
  EXPECT_EQ(caller, c.text) << "the caller's text must not change";
}

INSTANTIATE_TEST_SUITE_P(
    Notations, ConvertHexTextTest,
    ::testing::Values(
        HexCase{"0x1f", 0, 0x1F}, HexCase{"0X0", 0, 0}, HexCase{"0xffffffff", 0, 0xFFFFFFFF},
        HexCase{"0x00000001", 0, 1}, HexCase{"0x000000001", ConvErrDigits, kUntouched},
        HexCase{"0x", ConvErrLength, kUntouched}, HexCase{"0x12G4", ConvErrSyntax, kUntouched},
        HexCase{"0x1fh", ConvErrSyntax, kUntouched}, HexCase{"1fh", 0, 0x1F},
        HexCase{"ffH", 0, 0xFF}, HexCase{"0h", 0, 0}, HexCase{"h", ConvErrLength, kUntouched},
        HexCase{"123456789H", ConvErrDigits, kUntouched}, HexCase{"-1h", ConvErrSyntax, kUntouched},
        HexCase{"12", ConvErrSyntax, kUntouched}, HexCase{"", ConvErrSyntax, kUntouched},
        HexCase{" \t\n\v\f\r", ConvErrSyntax, kUntouched}, HexCase{" 0x10\t", 0, 0x10},
        HexCase{"\v0XaBcD\r\n", 0, 0xABCD}, HexCase{"FFFFFFFFh", 0, 0xFFFFFFFF},
        HexCase{"0FFFFFFFFh", ConvErrDigits, kUntouched}));

// When several faults come together, the order of the tests decides the code.
INSTANTIATE_TEST_SUITE_P(
    OrderOfTests, ConvertHexTextTest,
    ::testing::Values(
        HexCase{"0x 1", ConvErrSyntax, kUntouched},          // inner blank is no digit
        HexCase{"0x123456789G", ConvErrSyntax, kUntouched},  // bad character before digit count
        HexCase{"0XH", ConvErrSyntax, kUntouched},           // prefix wins over suffix
        HexCase{"G23456789h", ConvErrSyntax, kUntouched},    // bad character before digit count
        HexCase{"1 fh", ConvErrSyntax, kUntouched}, HexCase{"0x0x1", ConvErrSyntax, kUntouched},
        HexCase{"+1h", ConvErrSyntax, kUntouched},
        HexCase{"\xff"
                "1h",
                ConvErrSyntax, kUntouched},
        HexCase{"1\xa0", ConvErrSyntax, kUntouched},  // 0xA0 is no white space
        HexCase{" h ", ConvErrLength, kUntouched}, HexCase{" 0x ", ConvErrLength, kUntouched}));

TEST(ConvertHexText, LengthLimitIsCheckedBeforeAnythingElse) {
  std::string fits = std::string(247, ' ') + "0x1234h";  // 254 characters... still 4098
  std::uint32_t slot = kUntouched;
  EXPECT_EQ(ConvertHexText(fits.c_str(), &slot), ConvErrSyntax);

  std::string longest = std::string(251, ' ') + "0x12";  // 255 characters: converts
  EXPECT_EQ(ConvertHexText(longest.c_str(), &slot), 0);
  EXPECT_EQ(slot, 0x12u);

  slot = kUntouched;
  std::string too_long = std::string(252, ' ') + "0x12";  // 256 characters
  EXPECT_EQ(ConvertHexText(too_long.c_str(), &slot), ConvErrLength);
  EXPECT_EQ(ConvertHexText(std::string(5000, 'Z').c_str(), &slot), ConvErrLength);
  EXPECT_EQ(slot, kUntouched);
}

TEST(NormalizeValueText, TrimsWhiteSpaceThenUpperCasesAsciiOnly) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"  0x1f \t", "0X1F"}, {"\t\n", ""}, {"", ""}, {"a b", "A B"}, {"\xe4x", "\xe4X"},
  };
  for (const Case& c : cases) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%s", c.in.c_str());
    NormalizeValueText(buffer);
    EXPECT_EQ(std::string(buffer), c.out);
  }
}

}  // namespace
}  // namespace k8map
