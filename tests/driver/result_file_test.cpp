// The result file through the real program: a run that does not finish leaves an older
// result byte for byte and no temporary file; a complete run replaces it as a whole.
#include "tests/support/result_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_program.h"

namespace {

namespace fs = std::filesystem;

enum class Prep { Answers, Signal, FileSizeLimit, StdoutClosed, ReadOnlyOlder, SymlinkToOlder };

TEST(ResultFile, OlderResultKeptOrWhollyReplacedAndNoTemporaryFileLeft) {
    const struct {
        const char* name;
        const char* answers;
        Prep prep;
        int status;  // 0: the run completes; 128 + s: ended by signal s
    } cases[] = {
        {"bad N", "1\nabc\n", Prep::Answers, 1},
        {"end of input", "1\n", Prep::Answers, 1},
        {"capacity stop", "1\n1310716\n", Prep::Answers, 1},
        // Sent once the N question is on the console: the temporary file exists by then,
        // and a run of 1310715 decimals is far from done.
        {"SIGINT", "1\n1310715\n", Prep::Signal, 128 + SIGINT},
        {"SIGTERM", "1\n1310715\n", Prep::Signal, 128 + SIGTERM},
        {"SIGHUP", "1\n1310715\n", Prep::Signal, 128 + SIGHUP},
        {"file-size limit", "1\n10000\n", Prep::FileSizeLimit, 1},
        {"read-only older file", "1\n100\n", Prep::ReadOnlyOlder, 1},
        {"stdout closed", "1\n100\n", Prep::StdoutClosed, 0},
        {"symlink replaced, its target kept", "1\n100\n", Prep::SymlinkToOlder, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string result = dir.file("AtanDRM1.txt");
        const bool symlinked = c.prep == Prep::SymlinkToOlder;
        const std::string older = symlinked ? dir.file("older.txt") : result;
        std::ofstream(older) << "an older result\n";
        if (symlinked) {
            ASSERT_EQ(symlink("older.txt", result.c_str()), 0);
        }
        RunLimits limits;
        // A read-only older file in a directory the run may write: only its mode keeps it.
        limits.unprivileged = c.prep == Prep::ReadOnlyOlder;
        if (limits.unprivileged) {
            ASSERT_EQ(chmod(dir.path.c_str(), 0777) | chmod(older.c_str(), 0444), 0);
        }
        if (c.prep == Prep::Signal) {
            limits.when_shown = " Type In N";
            limits.on_shown = [&c](int pid) { kill(pid, c.status - 128); };
        }
        limits.file_size_limit = c.prep == Prep::FileSizeLimit ? 300 : 0;
        limits.stdout_closed = c.prep == Prep::StdoutClosed;

        EXPECT_EQ(run_pidrm(c.answers, dir.path, limits).exit_status, c.status);
        ResultFileParts parts;  // a complete result of its own, with no console text in it
        EXPECT_EQ(c.status == 0,
                  split_result_file(read_file(result), &parts) &&
                      parts.method_line == " ** Pi Computation by DRM with Atan ** \n" &&
                      parts.decimals.size() == 100);
        EXPECT_EQ(read_file(older) == "an older result\n", c.status != 0 || symlinked);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), symlinked ? 2 : 1);
    }
}

TEST(ResultFile, OverlappingRunsLeaveOneCompleteResult) {
    // The first run is held (SIGSTOP) after its first term, its header written, while a
    // second run of the same ID completes; then it completes too. Whichever finishes last,
    // the file is its complete result and nothing else is left.
    TempDir dir;
    RunLimits limits;
    limits.when_shown = "  ATAN(";
    limits.on_shown = [&](int pid) {
        kill(pid, SIGSTOP);
        EXPECT_EQ(run_pidrm("1\n100\n", dir.path).exit_status, 0);
        kill(pid, SIGCONT);
    };
    EXPECT_EQ(run_pidrm("1\n100000\n", dir.path, limits).exit_status, 0);
    ResultFileParts parts;
    ASSERT_TRUE(split_result_file(read_file(dir.file("AtanDRM1.txt")), &parts));
    const size_t n = parts.decimals.size();
    EXPECT_TRUE(n == 100 || n == 100000) << n;
    EXPECT_EQ(parts.sizes_line, "  ID=1,  Pi Decimal=" + std::to_string(n) +
                                    ",  FMT Size=" + (n == 100 ? "32" : "32768") + "\n");
    EXPECT_TRUE(is_timing_line(parts.timing_line)) << parts.timing_line;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 1);
}

}  // namespace
