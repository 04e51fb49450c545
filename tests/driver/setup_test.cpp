// Run set-up: the dialogue, the sizes of a run, the result file and the stops, through the
// real program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "driver/driver.h"
#include "tests/support/run_program.h"

namespace {

const std::string Dialogue =
    " Type In ID, (ID=1,2,3,4,5)  \n"
    " 1;Machin, 2;Gauss, 3;Klingen., 4;Stoemer, 5;Takano \n"
    " Type In N (N=Number of Pi Decimal-Digits) \n";
const std::string ConsoleMethodLine = " ** Pi Computation by DRM with Atan \n";
const std::string FileMethodLine = " ** Pi Computation by DRM with Atan ** \n";
const std::string CapacityStop = " ** Error Stop ** N > ND \n";

struct SizeCase {
    unsigned long long n, words, digits, fmt;
};

TEST(SizeRun, MatchesTableOfSizes) {
    const SizeCase cases[] = {
        {1, 1, 5, 2},
        {5, 1, 5, 2},
        {6, 2, 10, 4},
        {7, 2, 10, 4},
        {11, 3, 15, 4},
        {15, 3, 15, 4},
        {16, 4, 20, 8},
        {20, 4, 20, 8},
        {35, 7, 35, 8},
        {36, 8, 40, 16},
        {40, 8, 40, 16},
        {1000, 200, 1000, 256},
        {10000, 2000, 10000, 2048},
        {100000, 20000, 100000, 32768},
        {1000000, 200000, 1000000, 262144},
        {1310715, 262143, 1310715, 262144},
        {1310716, 262144, 1310720, 524288},
        {99999999999ULL, 20000000000ULL, 100000000000ULL, 34359738368ULL},
        // The largest answer the dialogue accepts: nothing overflows.
        {9223372036854775807ULL, 1844674407370955162ULL, 9223372036854775810ULL, 1ULL << 61},
    };
    for (const SizeCase& c : cases) {
        const RunSizes s = size_run(c.n);
        EXPECT_EQ(s.words, c.words) << "N=" << c.n;
        EXPECT_EQ(s.digits, c.digits) << "N=" << c.n;
        EXPECT_EQ(s.fmt, c.fmt) << "N=" << c.n;
    }
}

TEST(RunSetup, CapacityStopAfterBothHeaderLines) {
    TempDir dir;
    const ProgramRun run = run_pidrm("1\n1310716\n", dir.path);
    const std::string sizes = "  ID=1,  Pi Decimal=1310720,  FMT Size=524288\n";
    EXPECT_EQ(run.console, Dialogue + ConsoleMethodLine + sizes + CapacityStop);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_FALSE(file_exists(dir.file("AtanDRM1.txt")));
}

TEST(RunSetup, ReplacesExistingResultFile) {
    TempDir dir;
    {
        FILE* old = fopen(dir.file("AtanDRM2.txt").c_str(), "w");
        fputs("an older result that is much longer than the new header lines ...\n", old);
        fclose(old);
    }
    const ProgramRun run = run_pidrm("2\n20\n", dir.path);
    EXPECT_EQ(run.exit_status, 0);
    const std::string header = FileMethodLine + "  ID=2,  Pi Decimal=20,  FMT Size=8\n";
    EXPECT_EQ(read_file(dir.file("AtanDRM2.txt")).substr(0, header.size()), header);
}

// Answers for the ID that are out of range or not whole numbers fall back to ID 1 without
// a message, and the result file carries that ID.
struct IdCase {
    const char* answers;
    int id;
};

TEST(RunSetup, IdFallsBackToOne) {
    const IdCase cases[] = {{"0\n20\n", 1}, {"6\n20\n", 1},  {"-3\n20\n", 1},
                            {"x\n20\n", 1}, {"2.5 20\n", 1}, {"99999999999999999999\n20\n", 1},
                            {"5\n20\n", 5}, {"+3 20", 3}};
    for (const IdCase& c : cases) {
        SCOPED_TRACE(c.answers);
        TempDir dir;
        const ProgramRun run = run_pidrm(c.answers, dir.path);
        const std::string sizes =
            "  ID=" + std::to_string(c.id) + ",  Pi Decimal=20,  FMT Size=8\n";
        const std::string header = Dialogue + ConsoleMethodLine + sizes;
        EXPECT_EQ(run.console.substr(0, header.size()), header);
        EXPECT_EQ(run.exit_status, 0);
        const std::string name = "AtanDRM" + std::to_string(c.id) + ".txt";
        EXPECT_EQ(read_file(dir.file(name)).substr(0, (FileMethodLine + sizes).size()),
                  FileMethodLine + sizes);
    }
}

// Bad answers for N: a clear stop with status 1 before any header line, and no result file.
// Standard input from a directory: a read error, not the end of input.
struct BadInputCase {
    const char* answers;
    const char* message;  // the console's last line
    bool from_directory;
};

TEST(RunSetup, BadAnswersStopWithStatusOne) {
    const BadInputCase cases[] = {
        {"", " ** Error Stop ** no ID was given (end of input) \n", false},
        {"  \n\n", " ** Error Stop ** no ID was given (end of input) \n", false},
        {"1\n", " ** Error Stop ** no N was given (end of input) \n", false},
        {"1\nabc\n", " ** Error Stop ** N must be a whole number, not \"abc\" \n", false},
        {"1\n12x\n", " ** Error Stop ** N must be a whole number, not \"12x\" \n", false},
        {"1\n-\n", " ** Error Stop ** N must be a whole number, not \"-\" \n", false},
        // A sign only in front.
        {"1\n20+\n", " ** Error Stop ** N must be a whole number, not \"20+\" \n", false},
        {"1\n2-0\n", " ** Error Stop ** N must be a whole number, not \"2-0\" \n", false},
        {"1\n0\n", " ** Error Stop ** N must be at least 1 \n", false},
        {"1\n-5\n", " ** Error Stop ** N must be at least 1 \n", false},
        {"", " ** Error Stop ** no ID was given (cannot read standard input: Is a directory) \n",
         true},
    };
    for (const BadInputCase& c : cases) {
        SCOPED_TRACE(c.answers);
        TempDir dir;
        RunLimits limits;
        if (c.from_directory) limits.stdin_file = dir.path;
        const ProgramRun run = run_pidrm(c.answers, dir.path, limits);
        EXPECT_EQ(run.exit_status, 1);
        ASSERT_GE(run.console.size(), std::string(c.message).size());
        EXPECT_EQ(run.console.substr(run.console.size() - std::string(c.message).size()),
                  c.message);
        EXPECT_EQ(run.console.find("Pi Computation"), std::string::npos);
        EXPECT_FALSE(file_exists(dir.file("AtanDRM1.txt")));
    }
}

TEST(RunSetup, NBeyondIntReachesCapacityStop) {
    TempDir dir;
    const ProgramRun run = run_pidrm("1\n99999999999\n", dir.path);
    const std::string sizes = "  ID=1,  Pi Decimal=100000000000,  FMT Size=34359738368\n";
    EXPECT_EQ(run.console, Dialogue + ConsoleMethodLine + sizes + CapacityStop);
    EXPECT_EQ(run.exit_status, 1);
    // Beyond 64 bits no size is exact: the line shows the largest the capacity allows.
    const std::string beyond = "  ID=1,  Pi Decimal=> 1310715,  FMT Size=> 262144\n";
    EXPECT_EQ(run_pidrm("1\n99999999999999999999\n", dir.path).console,
              Dialogue + ConsoleMethodLine + beyond + CapacityStop);
}

TEST(RunSetup, ResultFileThatCannotBeCreated) {
    {
        // A directory stands where the file should go.
        TempDir dir;
        ASSERT_EQ(mkdir(dir.file("AtanDRM3.txt").c_str(), 0755), 0);
        const ProgramRun run = run_pidrm("3\n1000\n", dir.path);
        EXPECT_EQ(run.console,
                  Dialogue.substr(0, Dialogue.find(" Type In N")) +
                      " ** Error Stop ** cannot create AtanDRM3.txt: Is a directory \n");
        EXPECT_EQ(run.exit_status, 1);
    }
    {
        TempDir dir;
        ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
        RunLimits limits;
        limits.unprivileged = true;
        const ProgramRun run = run_pidrm("1\n1000\n", dir.path, limits);
        EXPECT_NE(
            run.console.find(" ** Error Stop ** cannot create AtanDRM1.txt: Permission denied \n"),
            std::string::npos)
            << run.console;
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_FALSE(file_exists(dir.file("AtanDRM1.txt")));
    }
}

TEST(RunSetup, AnswersOnOneLineAndHeaderOfARun) {
    TempDir dir;
    const ProgramRun run = run_pidrm("1 1000", dir.path);
    const std::string sizes = "  ID=1,  Pi Decimal=1000,  FMT Size=256\n";
    EXPECT_EQ(run.console.substr(0, (Dialogue + ConsoleMethodLine + sizes).size()),
              Dialogue + ConsoleMethodLine + sizes);
    EXPECT_EQ(run.exit_status, 0);
    const std::string file = read_file(dir.file("AtanDRM1.txt"));
    EXPECT_EQ(file.substr(0, (FileMethodLine + sizes).size()), FileMethodLine + sizes);
}

}  // namespace
