// The pure helpers of the window: size text and the window's place on the
// screen.
#include <gtest/gtest.h>

#include "app/Placement.h"
#include "app/SizeText.h"

namespace qm {
namespace {

TEST(SizeText, RoundsHalvesAwayFromZeroAtTheThirdDecimal) {
    // 0.125 and 0.005 are exact halves the binary value would round down.
    EXPECT_EQ(FormatSizeText(0.0, "."), "0.00KB");
    EXPECT_EQ(FormatSizeText(0.125, "."), "0.13KB");
    EXPECT_EQ(FormatSizeText(0.005, "."), "0.01KB");
    EXPECT_EQ(FormatSizeText(0.0049, "."), "0.00KB");
    EXPECT_EQ(FormatSizeText(0.001, "."), "0.00KB");
    EXPECT_EQ(FormatSizeText(1.536, "."), "1.54KB");
    EXPECT_EQ(FormatSizeText(1234.567, "."), "1234.57KB");
    EXPECT_EQ(FormatSizeText(1.999, "."), "2.00KB");
    EXPECT_EQ(FormatSizeText(999.995, "."), "1000.00KB");
    EXPECT_EQ(FormatSizeText(12.3, "."), "12.30KB");
}

TEST(SizeText, LargeValuesHaveNoGroupingAndTakeTheSeparator) {
    // 3 GiB and the largest length a file may have.
    EXPECT_EQ(FormatSizeText(3221225472 / 1000.0, ","), "3221225,47KB");
    EXPECT_EQ(FormatSizeText(9223372036854775807 / 1000.0, "."), "9223372036854776.00KB");
    EXPECT_EQ(FormatSizeText(0.125, "\xD9\xAB"),
              "0\xD9\xAB"
              "13KB");  // Arabic separator
}

TEST(Placement, CentresAndRaisesWithoutClamping) {
    const TFormPosition usual = FormPosition(1024, 768, 429, 146);
    EXPECT_EQ(usual.left, 297);
    EXPECT_EQ(usual.top, 161);
    // A screen lower than the frame plus 300 puts the top above the screen;
    // a narrower one than the frame puts the left off it. Division truncates
    // toward zero.
    const TFormPosition small = FormPosition(400, 300, 429, 146);
    EXPECT_EQ(small.left, -14);
    EXPECT_EQ(small.top, -73);
    const TFormPosition odd = FormPosition(1921, 1081, 428, 146);
    EXPECT_EQ(odd.left, 746);
    EXPECT_EQ(odd.top, 317);
}

}  // namespace
}  // namespace qm
