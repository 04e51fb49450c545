// The oracle itself, against decimals of pi known by heart.
#include "tests/support/gmp_pi.h"

#include <gtest/gtest.h>

TEST(GmpPiOracle, KnownDecimals) {
    EXPECT_EQ(gmp_pi_decimals(1), "1");
    EXPECT_EQ(gmp_pi_decimals(50), "14159265358979323846264338327950288419716939937510");
    // The six nines from decimal 762 on.
    EXPECT_EQ(gmp_pi_decimals(770).substr(759, 10), "3499999983");
}
