#include "tests/support/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

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
        dup2(from_child[1], STDOUT_FILENO);
        dup2(from_child[1], STDERR_FILENO);
        close(to_child[0]);
        close(to_child[1]);
        close(from_child[0]);
        close(from_child[1]);
        if (limits.stdout_closed) close(STDOUT_FILENO);
        for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) signal(s, SIG_DFL);
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (limits.file_size_limit > 0) {
            const rlim_t size = static_cast<rlim_t>(limits.file_size_limit);
            rlimit limit{size, size};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (drop && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(125);
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
    char buffer[4096];
    for (ssize_t got; (got = read(from_child[0], buffer, sizeof buffer)) != 0;) {
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
    close(from_child[0]);
    int status = 0;
    waitpid(pid, &status, 0);
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
