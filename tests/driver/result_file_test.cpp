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

enum class Prep {
    Answers,
    Signal,
    FileSizeLimit,
    StdoutClosed,
    ReadOnlyOlder,
    ReadOnlyOlderAsRoot,
    SymlinkToOlder,
    ConsoleClosedAtLastLine,
    ConsoleFull,
    StickyDirectory,
    TempNamesTaken,
    SignalAtTakenName
};

TEST(ResultFile, OlderResultKeptOrWhollyReplacedAndNoTemporaryFileLeft) {
    const struct {
        const char* name;
        const char* answers;
        Prep prep;
        int status;                     // 0: the run completes; 128 + s: ended by signal s
        const char* message = nullptr;  // on the console, where it matters
    } cases[] = {
        {"bad N", "1\nabc\n", Prep::Answers, 1},
        {"end of input", "1\n", Prep::Answers, 1},
        {"capacity stop", "1\n1310716\n", Prep::Answers, 1},
        // Sent once the N question is on the console: the temporary file exists by then,
        // and a run of 1310715 decimals is far from done.
        {"SIGINT", "1\n1310715\n", Prep::Signal, 128 + SIGINT},
        {"SIGTERM", "1\n1310715\n", Prep::Signal, 128 + SIGTERM},
        {"SIGHUP", "1\n1310715\n", Prep::Signal, 128 + SIGHUP},
        {"SIGQUIT", "1\n1310715\n", Prep::Signal, 128 + SIGQUIT},
        {"SIGALRM", "1\n1310715\n", Prep::Signal, 128 + SIGALRM},
        {"SIGUSR1", "1\n1310715\n", Prep::Signal, 128 + SIGUSR1},
        {"SIGUSR2", "1\n1310715\n", Prep::Signal, 128 + SIGUSR2},
        {"SIGXCPU", "1\n1310715\n", Prep::Signal, 128 + SIGXCPU},
        {"SIGVTALRM", "1\n1310715\n", Prep::Signal, 128 + SIGVTALRM},
        {"SIGPROF", "1\n1310715\n", Prep::Signal, 128 + SIGPROF},
        {"SIGSEGV", "1\n1310715\n", Prep::Signal, 128 + SIGSEGV},
        {"SIGBUS", "1\n1310715\n", Prep::Signal, 128 + SIGBUS},
        // The console's reader gone after the last progress line: the lines still to come
        // meet the closed pipe before the file is renamed, never after.
        {"console pipe closed after the last progress line", "1\n100\n",
         Prep::ConsoleClosedAtLastLine, 128 + SIGPIPE},
        {"console /dev/full", "1\n100\n", Prep::ConsoleFull, 1,
         " ** Error Stop ** cannot write the console: No space left on device \n"},
        {"file-size limit", "1\n10000\n", Prep::FileSizeLimit, 1},
        {"read-only older file", "1\n100\n", Prep::ReadOnlyOlder, 1},
        {"read-only older file, as root too", "1\n100\n", Prep::ReadOnlyOlderAsRoot, 1},
        {"another user's file in a sticky directory", "1\n100\n", Prep::StickyDirectory, 1,
         " ** Error Stop ** cannot replace AtanDRM1.txt: another user's file in a sticky "
         "directory \n"},
        {"stdout closed", "1\n100\n", Prep::StdoutClosed, 0},
        {"symlink replaced, its target kept", "1\n100\n", Prep::SymlinkToOlder, 0},
        // The temporary names of the program's process id exist beforehand: another run's.
        {"every temporary name taken", "1\n100\n", Prep::TempNamesTaken, 1,
         "-99.tmp: File exists \n"},
        {"SIGTERM as the create meets a taken name", "1\n100\n", Prep::SignalAtTakenName,
         128 + SIGTERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool sticky = c.prep == Prep::StickyDirectory;
        if (sticky && geteuid() != 0) continue;  // the other user's file is root's
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
        limits.unprivileged = c.prep == Prep::ReadOnlyOlder || sticky;
        if (c.prep == Prep::ReadOnlyOlder || c.prep == Prep::ReadOnlyOlderAsRoot) {
            ASSERT_EQ(chmod(dir.path.c_str(), 0777) | chmod(older.c_str(), 0444), 0);
        }
        if (sticky) {
            ASSERT_EQ(chmod(dir.path.c_str(), 01777) | chmod(older.c_str(), 0666), 0);
        }
        if (c.prep == Prep::Signal) {
            limits.when_shown = " Type In N";
            limits.on_shown = [&c](int pid) { kill(pid, c.status - 128); };
        }
        limits.file_size_limit = c.prep == Prep::FileSizeLimit ? 300 : 0;
        limits.stdout_closed = c.prep == Prep::StdoutClosed;
        if (c.prep == Prep::ConsoleClosedAtLastLine) {
            limits.held = limits.close_console = true;
            limits.when_shown = "  ATAN(1/   239)";
        }
        if (c.prep == Prep::ConsoleFull) limits.stdout_file = "/dev/full";
        limits.umask = 027;  // a complete result is 0640: 0666 less the umask
        const bool names_taken =
            c.prep == Prep::TempNamesTaken || c.prep == Prep::SignalAtTakenName;
        if (names_taken) {
            limits.held = true;
            limits.before_start = [&dir](int pid) {
                for (int k = 0; k < 100; ++k)
                    std::ofstream(dir.file("AtanDRM1.txt." + std::to_string(pid) + "-" +
                                           std::to_string(k) + ".tmp"));
            };
        }
        if (c.prep == Prep::SignalAtTakenName) {
            // Held where the exclusive create of the first name has failed, before the
            // program sees it: the signal arrives as the create returns.
            limits.when_shown = " 1;Machin";
            limits.when_failed = EEXIST;
            limits.on_shown = [](int pid) { kill(pid, SIGTERM); };
        }

        const ProgramRun run = run_pidrm(c.answers, dir.path, limits);
        EXPECT_EQ(run.exit_status, c.status) << run.console;
        EXPECT_TRUE(c.message == nullptr || run.console.find(c.message) != std::string::npos)
            << run.console;
        ResultFileParts parts;  // a complete result of its own, with no console text in it
        EXPECT_EQ(c.status == 0,
                  split_result_file(read_file(result), &parts) &&
                      parts.method_line == " ** Pi Computation by DRM with Atan ** \n" &&
                      parts.decimals.size() == 100);
        EXPECT_EQ(read_file(older) == "an older result\n", c.status != 0 || symlinked);
        struct stat status;
        EXPECT_TRUE(c.status != 0 ||
                    (lstat(result.c_str(), &status) == 0 && (status.st_mode & 0777) == 0640));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}),
                  1 + symlinked + (names_taken ? 100 : 0));
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
