// Long runs: a million decimals by every formula, the largest run by Machin and the working
// lengths above 2^15 words, each against the GMP oracle. Optimised build only; ctest label
// "long".
#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "tests/support/gmp_pi.h"
#include "tests/support/result_file.h"
#include "tests/support/run_program.h"
#include "tests/support/working_lengths.h"

namespace {

const std::string& oracle() {
    static const std::string decimals = gmp_pi_decimals(1310715);
    return decimals;
}

void check_long_run(int id, int n) {
    TempDir dir;
    const ProgramRun run =
        run_pidrm(std::to_string(id) + "\n" + std::to_string(n) + "\n", dir.path);
    ASSERT_EQ(run.exit_status, 0) << run.console;
    ResultFileParts parts;
    ASSERT_TRUE(
        split_result_file(read_file(dir.file("AtanDRM" + std::to_string(id) + ".txt")), &parts));
    EXPECT_TRUE(is_timing_line(parts.timing_line));
    EXPECT_LT(timing_line_error(parts.timing_line), 0.1);
    std::printf("ID=%d N=%d: %s", id, n, parts.timing_line.c_str());
    const RunSizes sizes = size_run(n);
    ASSERT_GE(parts.decimals.size(), sizes.digits);
    // 1310715 decimals fill 262143 words of 262144: the last word is the computation's last.
    const size_t exact = sizes.fmt == sizes.words + 1 ? sizes.digits - 5 : sizes.digits;
    const std::string got = parts.decimals.substr(0, exact);
    const std::string& want = oracle();
    size_t first_difference = 0;
    while (first_difference < exact && got[first_difference] == want[first_difference])
        ++first_difference;
    EXPECT_EQ(first_difference, exact) << "first wrong decimal at " << first_difference + 1;
}

TEST(LongRun, MillionDecimalsMachin) {
    check_long_run(1, 1000000);
}
TEST(LongRun, MillionDecimalsGauss) {
    check_long_run(2, 1000000);
}
TEST(LongRun, MillionDecimalsKlingenstierna) {
    check_long_run(3, 1000000);
}
TEST(LongRun, MillionDecimalsStoermer) {
    check_long_run(4, 1000000);
}
TEST(LongRun, MillionDecimalsTakano) {
    check_long_run(5, 1000000);
}
TEST(LongRun, LargestRunMachin) {
    check_long_run(1, 1310715);
}
TEST(LongRun, EveryLongWorkingLength) {
    for (const LengthRun& run : LengthRuns) {
        if (run.fmt <= LongestShortRun) continue;
        SCOPED_TRACE("ID=" + std::to_string(run.id) + " N=" + std::to_string(run.decimals));
        ASSERT_EQ(size_run(run.decimals).fmt, static_cast<unsigned>(run.fmt));
        check_long_run(run.id, run.decimals);
    }
}

}  // namespace
