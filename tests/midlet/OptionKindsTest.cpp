// The radio groups' item indices and the stored [Java] Type number keep
// their meaning through the enums, both ways.
#include "midlet/OptionKinds.h"

#include <gtest/gtest.h>

namespace midlet {
namespace {

TEST(OptionKinds, IndicesMapBothWays) {
    const struct {
        int index;
        MidletType type;
    } types[] = {{0, MidletType::Application}, {1, MidletType::Game}, {-1, MidletType::None}};
    for (const auto& c : types) {
        EXPECT_EQ(MidletTypeFromIndex(c.index), c.type) << c.index;
        EXPECT_EQ(MidletTypeIndex(c.type), c.index) << c.index;
    }
    for (int stray : {2, 5, -2}) {
        EXPECT_EQ(MidletTypeFromIndex(stray), MidletType::None) << stray;
    }
    EXPECT_EQ(JadKindFromIndex(0), JadKind::Full);
    EXPECT_EQ(JadKindFromIndex(1), JadKind::Simple);
    EXPECT_EQ(JadKindIndex(JadKind::Full), 0);
    EXPECT_EQ(JadKindIndex(JadKind::Simple), 1);
}

}  // namespace
}  // namespace midlet
