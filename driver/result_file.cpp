// The result file: written under a temporary name in its own directory and put in place of
// "AtanDRM?.txt" only once complete and synced to the disk, so that a run that does not finish
// (a bad answer, the capacity stop, a write error, a console that cannot be written, a signal)
// leaves an older result exactly as it was, and two runs in one directory never write into
// the same file. The exit status tells which happened: 0 once the new file is in place.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <process.h>

#include "arith/windows_api.h"
#else
#include <unistd.h>
#endif
#if defined(__linux__)
#include <linux/fs.h>  // the file attributes of chattr
#include <sys/ioctl.h>
#endif

#include "driver/driver.h"

std::FILE* ResultFile = nullptr;

namespace {

char ResultName[16];  // "AtanDRM1.txt"
// The temporary file: the result file's name, this process's id and an attempt number, as
// "AtanDRM1.txt.4242-0.tmp". A static buffer, since the signal handler removes it.
char TempName[64];
constexpr int TempAttempts = 100;
// 1 from the moment this run's exclusive create of TempName succeeded until the file has
// been removed or has replaced the result file. A name that exists already is another
// process's file (one of the same id in another pid namespace, or on another host sharing
// the directory), and nothing here removes it.
volatile std::sig_atomic_t TempOwned = 0;
// " ** Error Stop ** cannot remove <TempName> \n", made with TempName for the signal
// handler, which may only write it.
char RemoveFailedLine[112];
int RemoveFailedLength = 0;

#if !defined(_WIN32)
// The signals whose default action ends the process, the run with it: the terminal's
// hang-up, interrupt and quit keys, a termination request, a console pipe whose reader has
// gone, and the timers and limits of `timeout`, `ulimit -t` and profilers.
const int StopSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGPIPE, SIGALRM,
                           SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};
// A bad access of the program's own, a stack overflow among them: caught on a stack of their
// own, since the overflowed one has no room for the handler.
const int FaultSignals[] = {SIGSEGV, SIGBUS};
alignas(16) char FaultStack[1 << 16];

using HeldSignals = sigset_t;  // the signal mask before a hold

sigset_t stop_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : StopSignals) sigaddset(&set, s);
    return set;
}

// A stop signal that arrives while held waits until released; one that waits at the exit is
// lost with the process.
void hold_stop_signals(HeldSignals* before) {
    const sigset_t set = stop_signal_set();
    sigprocmask(SIG_BLOCK, &set, before);
}
void release_stop_signals(const HeldSignals* before) {
    sigprocmask(SIG_SETMASK, before, nullptr);
}

// Removes this run's temporary file, then ends the process by the same signal under its
// default action (restored on entry: SA_RESETHAND), so that the exit status is the signal's
// usual one: raised here, it is delivered as the handler returns. unlink, write and raise are
// safe in a signal handler.
void stop_on_signal(int signal_number) {
    if (TempOwned) {
        if (unlink(TempName) != 0) {
            const ssize_t written = write(STDERR_FILENO, RemoveFailedLine, RemoveFailedLength);
            static_cast<void>(written);  // nothing more to be done about it
        }
        TempOwned = 0;
    }
    raise(signal_number);
}

void catch_stop_signals() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = stop_on_signal;
    action.sa_mask = stop_signal_set();  // one handler at a time
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    for (int s : StopSignals) {
        // A signal ignored at start (nohup, a background job of a shell) stays ignored.
        struct sigaction before;
        if (sigaction(s, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(s, &action, nullptr);
    }
    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_sp = FaultStack;
    stack.ss_size = sizeof FaultStack;
    if (sigaltstack(&stack, nullptr) != 0) return;  // a fault then ends the run as before
    for (int s : FaultSignals) sigaction(s, &action, nullptr);
}
#else
// The C runtime calls a Ctrl-C handler on another thread, while the file is open and cannot
// be removed; a run stopped so leaves its temporary file, and the older result as it was.
struct HeldSignals {};
void hold_stop_signals(HeldSignals*) {}
void release_stop_signals(const HeldSignals*) {}
void catch_stop_signals() {}
#endif

// Registered with atexit: every std::exit of the run passes here (the driver's error stops,
// the DRM arctangent's stop), so the temporary file of a run that stops is removed. After
// the complete file has replaced the result file there is nothing left to remove.
void remove_temporary_file() {
    if (!TempOwned) return;
    if (ResultFile != nullptr) std::fclose(ResultFile);  // Windows removes no open file
    ResultFile = nullptr;
    HeldSignals before;
    hold_stop_signals(&before);  // the handler must not remove the name a second time
    if (std::remove(TempName) != 0) {
        std::fprintf(stderr, " ** Error Stop ** cannot remove %s: %s \n", TempName,
                     std::strerror(errno));
    }
    TempOwned = 0;
    release_stop_signals(&before);
}

// Stops the run with "<what> <name>: <reason>" (error_stop).
[[noreturn]] void stop_with_reason(const char* what, const char* name, const char* reason) {
    char message[160];
    std::snprintf(message, sizeof message, "%s %s: %s", what, name, reason);
    error_stop(message);
}

[[noreturn]] void stop_with_errno(const char* what, const char* name) {
    stop_with_reason(what, name, std::strerror(errno));
}

#if !defined(_WIN32)

// True when `name` is the root of a mount that the device numbers do not show: a file bound
// onto another of the same file system (Linux statx; elsewhere false).
bool is_mount_root(const char* name) {
#if defined(__linux__) && defined(STATX_ATTR_MOUNT_ROOT)
    struct statx status;
    return statx(AT_FDCWD, name, AT_SYMLINK_NOFOLLOW, 0, &status) == 0 &&
           (status.stx_attributes_mask & status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
#else
    static_cast<void>(name);
    return false;
#endif
}

// True when the current directory is append-only (Linux chattr +a): a name in it can be
// created but never renamed or removed. Elsewhere false.
bool directory_is_append_only() {
#if defined(__linux__) && defined(FS_IOC_GETFLAGS) && defined(FS_APPEND_FL)
    const int fd = open(".", O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    const bool append_only = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL);
    close(fd);
    return append_only;
#else
    return false;
#endif
}
#endif

// Stops the run at set-up when the result file's name is taken by something a run may not
// replace (a directory, a read-only file: that is how a result is kept) or cannot replace
// at the end: another user's file in a sticky directory (/tmp, say), where only its owner,
// the directory's owner or root may rename over it, and a mount point. A symbolic link is
// replaced by the new file, whatever it points to.
void refuse_what_cannot_be_replaced() {
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesA(ResultName);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    errno = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EISDIR : EACCES;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        stop_with_errno("cannot create", ResultName);
#else
    if (directory_is_append_only())
        stop_with_reason("cannot replace", ResultName, "the directory is append-only");
    struct stat result, directory;
    if (lstat(ResultName, &result) != 0) return;
    if (S_ISDIR(result.st_mode)) {
        errno = EISDIR;
        stop_with_errno("cannot create", ResultName);
    }
    // Read-only for everybody is kept from root too, whom access() lets write anything.
    const bool read_only = (result.st_mode & 0222) == 0;
    if (!S_ISLNK(result.st_mode) && (read_only || access(ResultName, W_OK) != 0)) {
        if (read_only) errno = EACCES;
        stop_with_errno("cannot create", ResultName);
    }
    if (stat(".", &directory) != 0) return;  // the create fails then, and says why
    if (result.st_dev != directory.st_dev || is_mount_root(ResultName))
        stop_with_reason("cannot replace", ResultName, "a mount point");
    const uid_t user = geteuid();
    if ((directory.st_mode & S_ISVTX) != 0 && user != 0 && result.st_uid != user &&
        directory.st_uid != user)
        stop_with_reason("cannot replace", ResultName, "another user's file in a sticky directory");
#endif
}

// Creates TempName as a new file, never opening one that exists, and opens ResultFile on it
// for writing in text mode, with the permissions of a new file (0666 less the umask).
// Returns false, with errno set, when that fails.
bool create_temporary_file() {
#if defined(_WIN32)
    const long pid = _getpid();
#else
    const long pid = getpid();
#endif
    for (int attempt = 0; attempt < TempAttempts; ++attempt) {
        std::snprintf(TempName, sizeof TempName, "%s.%ld-%d.tmp", ResultName, pid, attempt);
        RemoveFailedLength = std::snprintf(RemoveFailedLine, sizeof RemoveFailedLine,
                                           " ** Error Stop ** cannot remove %s \n", TempName);
        // The file is this run's only once the exclusive create has succeeded; a stop signal
        // waits meanwhile, so that its handler never sees the name of another's file.
        HeldSignals before;
        hold_stop_signals(&before);
#if defined(_WIN32)
        const int fd = _open(TempName, _O_WRONLY | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
#else
        const int fd = open(TempName, O_WRONLY | O_CREAT | O_EXCL, 0666);
#endif
        int error = errno;
        if (fd >= 0) TempOwned = 1;
        release_stop_signals(&before);
        if (fd >= 0) {
#if defined(_WIN32)
            ResultFile = _fdopen(fd, "w");
#else
            ResultFile = fdopen(fd, "w");
#endif
            if (ResultFile != nullptr) return true;
            error = errno;
#if defined(_WIN32)
            _close(fd);
#else
            close(fd);
#endif
            remove_temporary_file();
        }
        errno = error;
        if (error != EEXIST) return false;
    }
    return false;
}

bool sync_result_file() {
#if defined(_WIN32)
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(ResultFile)));
    if (FlushFileBuffers(file)) return true;
    errno = EIO;
    return false;
#else
    // A file that cannot be synced (EINVAL) has nothing to wait for.
    return fsync(fileno(ResultFile)) == 0 || errno == EINVAL;
#endif
}

// The new name is on the disk too once the directory is synced (on Windows MoveFileEx
// waits for it itself). The file is in place by then: a directory that cannot be synced
// changes nothing the run can report.
void sync_directory() {
#if !defined(_WIN32)
    const int fd = open(".", O_RDONLY);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
#endif
}

}  // namespace

void open_standard_streams() {
#if !defined(_WIN32)
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open takes the lowest free descriptor: fd, since those below it are open. Without
        // /dev/null the run stops before any file is opened in its place.
        if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) std::exit(1);
    }
#endif
}

void create_result_file(const char* name) {
    std::snprintf(ResultName, sizeof ResultName, "%s", name);
    refuse_what_cannot_be_replaced();
    std::atexit(remove_temporary_file);
    catch_stop_signals();
    if (create_temporary_file()) return;
    // Every temporary name exists: the message names the last one tried.
    stop_with_errno("cannot create", errno == EEXIST ? TempName : ResultName);
}

void check_result_file() {
    if (std::fflush(ResultFile) != 0 || std::ferror(ResultFile))
        stop_with_errno("cannot write", ResultName);
}

void replace_result_file() {
    check_result_file();
    if (!sync_result_file()) stop_with_errno("cannot write", ResultName);
    const bool closed = std::fclose(ResultFile) == 0;
    ResultFile = nullptr;
    if (!closed) stop_with_errno("cannot write", ResultName);
    // The console's last lines before the new file takes the name: a console that cannot be
    // written, or a console pipe without a reader (SIGPIPE), stops the run with the older
    // result in place. No console write follows the rename.
    flush_console();
    // From here to the exit a stop signal waits and is lost with the process: a run whose
    // file is complete either ends before the rename, the older file kept, or with status 0.
    HeldSignals before;
    hold_stop_signals(&before);
#if defined(_WIN32)
    // std::rename does not replace an existing file on Windows.
    const bool replaced =
        MoveFileExA(TempName, ResultName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!replaced) errno = EACCES;  // the result file is open in another program, say
#else
    const bool replaced = std::rename(TempName, ResultName) == 0;  // atomic
#endif
    if (!replaced) stop_with_errno("cannot replace", ResultName);
    TempOwned = 0;
    sync_directory();
}
