// End-to-end harness: runs the real pidrm binary in a directory of its own, answers its
// questions on standard input, and captures the console bytes and the exit status.
#pragma once

#include <functional>
#include <string>

struct ProgramRun {
    std::string console;  // standard output and standard error, interleaved as written
    int exit_status;      // the exit status, or 128 + signal number when killed by a signal
};

struct RunLimits {
    // A positive value caps the size of files the program may write (RLIMIT_FSIZE). SIGXFSZ
    // keeps the disposition the tests have, so the program must ignore it itself.
    long file_size_limit = 0;
    // Run as the unprivileged user 65534 when the tests run as root, so that directory
    // permissions apply to the program (a copy of it, which that user can reach).
    bool unprivileged = false;
    // Standard output closed, as `>&-` closes it; standard input read from this file instead
    // of the answers, when given.
    bool stdout_closed = false;
    std::string stdin_file;
    // Standard output written to this file (/dev/full, say) instead of the console, when
    // given; standard error still goes to the console.
    std::string stdout_file;
    int umask = -1;  // the program's umask, when 0 or more
    // Once the console holds `when_shown`, on_shown is called once with the program's
    // process id (to send it a signal, say) while the program goes on.
    std::string when_shown;
    std::function<void(int pid)> on_shown;
    // With `held`, the program is traced (ptrace) until then, and on_shown runs while it is
    // held at a known point: just after the write that completed when_shown or, with
    // when_failed, at the exit of the first system call after it that fails with that errno.
    // A signal sent there arrives as the call returns. before_start is called with the
    // process id before the program starts.
    bool held = false;
    int when_failed = 0;
    std::function<void(int pid)> before_start;
    // The console's reading end closed once on_shown has run, so that the program's next
    // console write meets a pipe without a reader.
    bool close_console = false;
};

// Runs build/pidrm with `input` on standard input and `dir` as the current directory. Every
// signal that ends a run from outside has its default action in it and none is blocked, as
// a shell starts a program, whatever the tests' own are; it dumps no core.
ProgramRun run_pidrm(const std::string& input, const std::string& dir, RunLimits limits = {});

// A fresh empty directory under the system's temporary directory, removed by the destructor.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// The whole content of a file; an empty string when it cannot be read.
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
