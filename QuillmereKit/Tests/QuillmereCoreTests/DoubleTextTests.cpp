#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "QuillmereCore/DoubleText.h"

namespace qm {
namespace {

TEST(DoubleText, ShortestDigitsInDecimalOrExponentialByMagnitude) {
    const std::pair<double, std::string> cases[] = {
        {0, "0.0"},
        {-0.0, "-0.0"},
        {20, "20.0"},
        {0.5, "0.5"},
        {0.1, "0.1"},
        {1.25, "1.25"},
        {-2.5, "-2.5"},
        {0.51, "0.51"},
        {100000, "100000.0"},
        {123456.789, "123456.789"},
        {0.0001, "0.0001"},
        {0.00012, "0.00012"},
        {0.00001, "1e-05"},
        {-0.000015, "-1.5e-05"},
        {0x1p53, "9007199254740992.0"},
        {0x1p53 + 2, "9.007199254740994e+15"},
        {1e16, "1e+16"},
        {1.5e300, "1.5e+300"},
        {5e-324, "5e-324"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {std::nan(""), "nan"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(doubleText(value), text);
    }
}

}  // namespace
}  // namespace qm
