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
    // Once the console holds `when_shown`, on_shown is called once with the program's
    // process id (to send it a signal, say) while the program goes on.
    std::string when_shown;
    std::function<void(int pid)> on_shown;
};

// Runs build/pidrm with `input` on standard input and `dir` as the current directory. The
// signals that end a run from outside have their default action in it, whatever the tests'
// own are.
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
