// Every test program that calls the products prepares the transforms' tables once, for the
// longest length, before its first test, as a run prepares those of its own length: the
// products read the tables and build none.
#include <gtest/gtest.h>

#include "fft/fft.h"

namespace {

struct PreparedTransforms : testing::Environment {
    void SetUp() override { prepare_transforms(1 << 18); }
};

const testing::Environment* const Prepared =
    testing::AddGlobalTestEnvironment(new PreparedTransforms);

}  // namespace
