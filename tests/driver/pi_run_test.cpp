// The whole program: progress lines, the result file's layout, and the digits against an
// independent oracle (GMP), through the real binary.
#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "tests/support/gmp_pi.h"
#include "tests/support/result_file.h"
#include "tests/support/run_program.h"
#include "tests/support/working_lengths.h"

namespace {

const int Xs[] = {5, 10, 18, 49, 57, 239, 515, 682, 12943, 110443};

// The DRM step counts at each N for the arguments above, in that order.
struct StepRow {
    int n, word_count, fmt;
    int steps[10];
};
const StepRow StepTable[] = {
    {20, 4, 8, {8, 6, 4, 3, 3, 3, 2, 2, 2, 1}},
    {1000, 200, 256, {12, 8, 7, 5, 5, 4, 3, 3, 2, 2}},
    {10000, 2000, 2048, {14, 10, 8, 6, 6, 5, 4, 4, 3, 2}},
    {1000000, 200000, 262144, {11, 8, 7, 5, 5, 4, 3, 3, 2, 2}},
};

TEST(DrmStepCount, MatchesTableOfSteps) {
    for (const StepRow& row : StepTable)
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(drm_step_count(Xs[i], 5, row.word_count, row.fmt), row.steps[i])
                << "N=" << row.n << " x=" << Xs[i];
}

TEST(FormatExponent3, WidensTheExponent) {
    const struct {
        double v;
        const char* text;
    } cases[] = {{1.9073486328125e-6, "1.907349e-006"},
                 {0.0, "0.000000e+000"},
                 {0.25, "2.500000e-001"},
                 {3.0e-120, "3.000000e-120"},
                 {1.5e200, "1.500000e+200"}};
    for (const auto& c : cases) {
        char out[48];
        format_exponent3(c.v, out, sizeof out);
        EXPECT_STREQ(out, c.text);
    }
}

// The terms (x) of each formula, by ID.
const std::vector<int> FormulaXs[] = {
    {5, 239}, {18, 57, 239}, {10, 239, 515}, {57, 239, 682, 12943}, {49, 57, 239, 110443}};

struct CompleteRun {
    ProgramRun run;
    ResultFileParts parts;
    bool well_formed;
};

CompleteRun run_complete(int id, int n) {
    TempDir dir;
    CompleteRun c;
    c.run = run_pidrm(std::to_string(id) + "\n" + std::to_string(n) + "\n", dir.path);
    c.well_formed =
        split_result_file(read_file(dir.file("AtanDRM" + std::to_string(id) + ".txt")), &c.parts);
    return c;
}

// Checks a run of ID `id` for N decimals: exit status, one well-formed progress line per
// term, the timing line on console and file, the file's layout, and every decimal up to the
// "Pi Decimal" count against the oracle. Where the FMT size is only one word above the word
// count, the last decimal word is the computation's last word and may differ.
void check_run(int id, int n, const std::string& oracle) {
    SCOPED_TRACE("ID=" + std::to_string(id) + " N=" + std::to_string(n));
    const CompleteRun c = run_complete(id, n);
    ASSERT_EQ(c.run.exit_status, 0) << c.run.console;
    ASSERT_TRUE(c.well_formed);
    const RunSizes sizes = size_run(n);
    // Up to 15 decimals the run computes as a run of 7 words at 8 words does.
    const bool raised = sizes.fmt < 8;
    const int fmt = raised ? 8 : static_cast<int>(sizes.fmt);
    const int computed_words = raised ? 7 : static_cast<int>(sizes.words);

    bool malformed = false;
    const std::vector<ProgressLine> lines = progress_lines(c.run.console, &malformed);
    EXPECT_FALSE(malformed) << c.run.console;
    ASSERT_EQ(lines.size(), FormulaXs[id - 1].size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].x, FormulaXs[id - 1][i]);
        EXPECT_EQ(lines[i].steps, drm_step_count(lines[i].x, 5, computed_words, fmt));
    }
    EXPECT_TRUE(is_timing_line(c.parts.timing_line)) << c.parts.timing_line;
    EXPECT_NE(c.run.console.find(c.parts.timing_line), std::string::npos);
    EXPECT_LT(timing_line_error(c.parts.timing_line), 0.1);
    EXPECT_EQ(c.parts.sizes_line, "  ID=" + std::to_string(id) +
                                      ",  Pi Decimal=" + std::to_string(sizes.digits) +
                                      ",  FMT Size=" + std::to_string(sizes.fmt) + "\n");

    // An odd word count prints one more word; beyond a one-word margin it is zeros.
    const size_t digits = sizes.digits;
    const size_t printed = digits + (sizes.words % 2 == 1 ? 5 : 0);
    ASSERT_EQ(c.parts.decimals.size(), printed);
    EXPECT_EQ(c.parts.body, result_body(c.parts.decimals));
    // Up to 15 decimals the run computes at 8 words, well above the word count.
    const bool last_word_may_differ = static_cast<unsigned>(fmt) == sizes.words + 1;
    const size_t exact = last_word_may_differ ? digits - 5 : digits;
    EXPECT_EQ(c.parts.decimals.substr(0, exact), oracle.substr(0, exact));
    if (last_word_may_differ && printed > digits) {
        EXPECT_EQ(c.parts.decimals.substr(digits), "00000");
    }
}

TEST(PiRun, ResultFileForTwentyDecimals) {
    const CompleteRun c = run_complete(1, 20);
    ASSERT_TRUE(c.well_formed);
    EXPECT_EQ(c.parts.method_line, " ** Pi Computation by DRM with Atan ** \n");
    EXPECT_EQ(c.parts.sizes_line, "  ID=1,  Pi Decimal=20,  FMT Size=8\n");
    EXPECT_EQ(c.parts.body, "  Pi = 3. \n        1 1415926535 8979323846");
}

TEST(PiRun, ResultFileLayouts) {
    const std::string oracle = gmp_pi_decimals(200);
    // 80 decimals: one full line; 85: a second line with one group of ten (90 decimals);
    // 35: seven words, one line of four groups, the last word past the number.
    const CompleteRun full = run_complete(1, 80);
    EXPECT_EQ(full.parts.body, result_body(oracle.substr(0, 80)));
    const CompleteRun two = run_complete(2, 85);
    EXPECT_EQ(two.parts.body.substr(two.parts.body.size() - 21),
              "\n       81 " + oracle.substr(80, 10));
    const CompleteRun short_margin = run_complete(3, 35);
    EXPECT_EQ(short_margin.parts.decimals.size(), 40u);
    EXPECT_EQ(short_margin.parts.decimals.substr(35), "00000");
    for (int n : {20, 35, 80, 85}) check_run(1, n, oracle);
}

TEST(PiRun, ProgressLinesShowEachTerm) {
    const CompleteRun c = run_complete(5, 1000);
    EXPECT_NE(c.run.console.find("  ATAN(1/110443),  DRM Step=  2,  Time="), std::string::npos);
    EXPECT_NE(c.run.console.find("  ATAN(1/    49),  DRM Step=  5,  Time="), std::string::npos);
    const CompleteRun machin = run_complete(1, 1000);
    EXPECT_NE(machin.run.console.find("  ATAN(1/     5),  DRM Step= 12,  Time="),
              std::string::npos);
    EXPECT_NE(machin.run.console.find("  ATAN(1/   239),  DRM Step=  4,  Time="),
              std::string::npos);
}

TEST(PiRun, DigitsOfEveryFormulaAgainstOracle) {
    const std::string oracle = gmp_pi_decimals(100010);
    for (int id = 1; id <= 5; ++id) {
        for (int n = 1; n <= 20; ++n) check_run(id, n, oracle);
        for (int n : {85, 1000, 10000}) check_run(id, n, oracle);
#ifdef NDEBUG
        check_run(id, 100000, oracle);  // slow under the sanitizers
#endif
    }
}

TEST(PiRun, EveryWorkingLengthAgainstOracle) {
    const std::string oracle = gmp_pi_decimals(5 * LongestShortRun);
    for (const LengthRun& run : LengthRuns) {
        if (run.fmt > LongestShortRun) continue;  // the long runs'
#ifndef NDEBUG
        if (run.fmt > (1 << 13)) continue;  // slow under the sanitizers
#endif
        ASSERT_EQ(size_run(run.decimals).fmt, static_cast<unsigned>(run.fmt));
        check_run(run.id, run.decimals, oracle);
    }
}

TEST(PiRun, FailedWriteStopsWithStatusOne) {
    // A file-size limit below the result file's size: the writes fail, the run says so.
    TempDir dir;
    RunLimits limits;
    limits.file_size_limit = 300;
    const ProgramRun run = run_pidrm("1\n1000\n", dir.path, limits);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.console.find(" ** Error Stop ** cannot write AtanDRM1.txt: File too large \n"),
              std::string::npos)
        << run.console;
}

}  // namespace
