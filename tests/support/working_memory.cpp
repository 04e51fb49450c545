// Every test program lays out the working memory once, for the longest working length,
// before its first test, as a run lays out that of its own length: the working arrays exist
// from then on, and the products read the tables prepared with them.
#include <gtest/gtest.h>

#include "driver/driver.h"

namespace {

struct WorkingMemory : testing::Environment {
    void SetUp() override { lay_out_working_memory(1 << 18); }
};

const testing::Environment* const LaidOut = testing::AddGlobalTestEnvironment(new WorkingMemory);

}  // namespace
