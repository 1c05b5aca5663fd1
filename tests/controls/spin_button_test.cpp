// Which half of a spin button a point falls in, for both button kinds.

#include "controls/spin_button.h"

#include <gtest/gtest.h>

using namespace controls;

namespace {

struct PartCase {
    TSpinButtonKind kind;
    QPoint point;
    TSpinPart expected;
};

class SpinButtonParts : public testing::TestWithParam<PartCase> {};

TEST_P(SpinButtonParts, SplitsTheButtonIntoUpAndDown) {
    const PartCase& c = GetParam();
    EXPECT_EQ(SpinPartAt(c.kind, QSize(20, 20), c.point), c.expected)
        << c.point.x() << "," << c.point.y();
}

INSTANTIATE_TEST_SUITE_P(Cases, SpinButtonParts,
                         testing::Values(PartCase{bkDiagonal, {18, 0}, TSpinPart::Top},
                                         PartCase{bkDiagonal, {0, 18}, TSpinPart::Top},
                                         PartCase{bkDiagonal, {9, 9}, TSpinPart::Top},
                                         PartCase{bkDiagonal, {9, 10}, TSpinPart::Bottom},
                                         PartCase{bkDiagonal, {19, 0}, TSpinPart::Bottom},
                                         PartCase{bkStandard, {19, 9}, TSpinPart::Top},
                                         PartCase{bkStandard, {0, 10}, TSpinPart::Bottom},
                                         PartCase{bkStandard, {20, 5}, TSpinPart::None}));

} // namespace
