#include "tests/support/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace {

// Traces the program, stopped at its start, from system call to system call until it is at
// the point `limits` asks for (RunLimits::held); calls on_shown there and lets it go on
// untraced. Returns false, with its wait status, when it ends before that point.
bool hold_program(pid_t pid, int console_fd, RunLimits* limits, std::string* console, int* status) {
    if (waitpid(pid, status, 0) != pid || !WIFSTOPPED(*status)) return false;  // at exec
    if (limits->before_start) limits->before_start(pid);
    ptrace(PTRACE_SETOPTIONS, pid, nullptr,
           reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    const int flags = fcntl(console_fd, F_GETFL);
    fcntl(console_fd, F_SETFL, flags | O_NONBLOCK);
    bool held = false;
    char buffer[4096];
    for (long pass_signal = 0; !held;) {
        ptrace(PTRACE_SYSCALL, pid, nullptr, reinterpret_cast<void*>(pass_signal));
        if (waitpid(pid, status, 0) != pid || !WIFSTOPPED(*status)) break;
        pass_signal = WSTOPSIG(*status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(*status);
        if (pass_signal != 0) continue;
        __ptrace_syscall_info call;  // Linux 5.3 and later
        const void* size = reinterpret_cast<void*>(sizeof call);
        if (ptrace(PTRACE_GET_SYSCALL_INFO, pid, size, &call) <= 0) continue;
        if (call.op != PTRACE_SYSCALL_INFO_EXIT) continue;
        for (ssize_t got; (got = read(console_fd, buffer, sizeof buffer)) > 0;)
            console->append(buffer, static_cast<size_t>(got));  // what it wrote so far
        held = console->find(limits->when_shown) != std::string::npos &&
               (limits->when_failed == 0 || call.exit.rval == -limits->when_failed);
    }
    fcntl(console_fd, F_SETFL, flags);
    if (!held) return false;
    if (limits->on_shown) limits->on_shown(pid);
    limits->on_shown = nullptr;
    ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
    return true;
}

}  // namespace

ProgramRun run_pidrm(const std::string& input, const std::string& dir, RunLimits limits) {
    // The unprivileged user may not reach the binary inside a private checkout (a 0700
    // directory under /root, say): it runs a copy from a directory that everybody may enter.
    const bool drop = limits.unprivileged && geteuid() == 0;
    std::optional<TempDir> copy_dir;
    std::string binary = PIDRM_BINARY;
    if (drop) {
        namespace fs = std::filesystem;
        copy_dir.emplace();
        binary = copy_dir->file("pidrm");
        fs::copy_file(PIDRM_BINARY, binary);
        const fs::perms everybody_rx = fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec;
        fs::permissions(copy_dir->path, everybody_rx);
        fs::permissions(binary, everybody_rx);
    }
    int to_child[2], from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const bool from_file = !limits.stdin_file.empty();
        dup2(from_file ? open(limits.stdin_file.c_str(), O_RDONLY) : to_child[0], STDIN_FILENO);
        const bool to_file = !limits.stdout_file.empty();
        dup2(to_file ? open(limits.stdout_file.c_str(), O_WRONLY) : from_child[1], STDOUT_FILENO);
        dup2(from_child[1], STDERR_FILENO);
        close(to_child[0]);
        close(to_child[1]);
        close(from_child[0]);
        close(from_child[1]);
        if (limits.stdout_closed) close(STDOUT_FILENO);
        for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU,
                      SIGVTALRM, SIGPROF, SIGSEGV, SIGBUS})
            signal(s, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        if (limits.umask >= 0) umask(static_cast<mode_t>(limits.umask));
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (limits.file_size_limit > 0) {
            const rlim_t size = static_cast<rlim_t>(limits.file_size_limit);
            rlimit limit{size, size};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (drop && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
        if (limits.held && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(124);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    // The answers are a few bytes, far below a pipe's buffer: writing them all first
    // cannot block while the child fills its output pipe.
    signal(SIGPIPE, SIG_IGN);
    if (!input.empty() && write(to_child[1], input.data(), input.size()) < 0) {
        // The child may have stopped before reading; its output tells why.
    }
    close(to_child[1]);

    ProgramRun run;
    int status = 0;
    // A held program that ends before its point has been waited for.
    const bool running =
        !limits.held || hold_program(pid, from_child[0], &limits, &run.console, &status);
    const bool reading = !running || !limits.close_console;
    if (!reading) close(from_child[0]);
    char buffer[4096];
    for (ssize_t got; reading && (got = read(from_child[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        run.console.append(buffer, static_cast<size_t>(got));
        if (limits.on_shown && run.console.find(limits.when_shown) != std::string::npos) {
            limits.on_shown(pid);
            limits.on_shown = nullptr;
        }
    }
    if (reading) close(from_child[0]);
    if (running) waitpid(pid, &status, 0);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pidrm-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path, ignored);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool file_exists(const std::string& path) {
    return std::filesystem::exists(path);
}
