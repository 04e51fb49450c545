// Runs one program and measures it, for the whole-run benchmark (whole_runs.sh):
//
//   measure FILE PROGRAM [ARGUMENTS...]
//
// runs PROGRAM with the given arguments, standard input and output as they are, waits for
// it and writes one line to FILE: its wall time and its processor time (user + system) in
// seconds, and its peak memory (largest resident set) in KiB. Exits with the program's exit
// status, or 127 when it could not be started.
//
// The wall time runs from just before the fork to the end of the wait; the processor time
// and the peak memory are the kernel's figures for the child. The peak includes the few
// pages of the forked copy of this small program before it turns into PROGRAM (about 1 MiB
// here), so it is a floor for tiny runs. Linux and other POSIX systems only.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

double seconds_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double seconds_of(const timeval& t) {
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: measure FILE PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const double start = seconds_now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("measure: fork");
        return 127;
    }
    if (child == 0) {
        execv(argv[2], argv + 2);
        std::perror("measure: cannot run the program");
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("measure: wait4");
        return 127;
    }
    const double wall = seconds_now() - start;
    FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr ||
        std::fprintf(out, "%.4f %.4f %ld\n", wall,
                     seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime),
                     usage.ru_maxrss) < 0 ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "measure: cannot write %s\n", argv[1]);
        return 127;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
