// The result file: written under a temporary name in its own directory and put in place of
// "AtanDRM?.txt" only once complete, so that a run that does not finish (a bad answer, the
// capacity stop, a write error, a signal) leaves an older result exactly as it was, and two
// runs in one directory never write into the same file.
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

#include "driver/driver.h"

std::FILE* ResultFile = nullptr;

namespace {

char ResultName[16];  // "AtanDRM1.txt"
// The temporary file: the result file's name, this process's id and an attempt number, as
// "AtanDRM1.txt.4242-0.tmp". A static buffer, since the signal handler removes it.
char TempName[64];
// 1 while TempName may exist: from just before it is created until it has been removed or
// has replaced the result file.
volatile std::sig_atomic_t TempExists = 0;

// Registered with atexit: every std::exit of the run passes here (the driver's error stops,
// the DRM arctangent's stop), so the temporary file of a run that stops is removed. After
// the complete file has replaced the result file there is nothing left to remove.
void remove_temporary_file() {
    if (!TempExists) return;
    if (ResultFile != nullptr) std::fclose(ResultFile);  // Windows removes no open file
    ResultFile = nullptr;
    std::remove(TempName);
    TempExists = 0;
}

#if !defined(_WIN32)
// The signals that end a run from outside: the terminal's hang-up, interrupt and quit keys,
// a termination request, and a console pipe whose reader has gone.
const int StopSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};

// Removes the temporary file, then ends the process by the same signal under its default
// action (restored on entry: SA_RESETHAND), so that the exit status is the signal's usual
// one. unlink and raise are safe in a signal handler.
void stop_on_signal(int signal_number) {
    if (TempExists) unlink(TempName);
    raise(signal_number);
}

void catch_stop_signals() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = stop_on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int s : StopSignals) {
        // A signal ignored at start (nohup, a background job of a shell) stays ignored.
        struct sigaction before;
        if (sigaction(s, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(s, &action, nullptr);
    }
}
#else
// The C runtime calls a Ctrl-C handler on another thread, while the file is open and cannot
// be removed; a run stopped so leaves its temporary file, and the older result as it was.
void catch_stop_signals() {}
#endif

// Fails, with errno set, when the result file's name is taken by something a run may not
// replace: a directory, or a file the user may not write (a read-only result is kept). A
// symbolic link is replaced by the new file, whatever it points to.
bool name_may_be_replaced() {
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesA(ResultName);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    errno = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EISDIR : EACCES;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
#else
    struct stat status;
    if (lstat(ResultName, &status) != 0 || S_ISLNK(status.st_mode)) return true;
    if (S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return access(ResultName, W_OK) == 0;
#endif
}

// Creates TempName as a new file, never opening one that exists, and opens ResultFile on it
// for writing in text mode. Returns false, with errno set, when that fails.
bool create_temporary_file() {
#if defined(_WIN32)
    const long pid = _getpid();
#else
    const long pid = getpid();
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::snprintf(TempName, sizeof TempName, "%s.%ld-%d.tmp", ResultName, pid, attempt);
        // Set before the file exists, so a signal cannot leave it behind. A name that exists
        // already carries this process's id: it is a leftover of an ended process.
        TempExists = 1;
#if defined(_WIN32)
        const int fd = _open(TempName, _O_WRONLY | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
        ResultFile = fd < 0 ? nullptr : _fdopen(fd, "w");
#else
        const int fd = open(TempName, O_WRONLY | O_CREAT | O_EXCL, 0666);
        ResultFile = fd < 0 ? nullptr : fdopen(fd, "w");
#endif
        if (ResultFile != nullptr) return true;
        const int error = errno;
        if (fd >= 0) std::remove(TempName);  // no stream for it; the descriptor ends with us
        TempExists = 0;
        errno = error;
        if (error != EEXIST) return false;
    }
    return false;
}

void stop_with_errno(const char* what) {
    char message[160];
    std::snprintf(message, sizeof message, "%s %s: %s", what, ResultName, std::strerror(errno));
    error_stop(message);
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
    if (!name_may_be_replaced()) stop_with_errno("cannot create");
    std::atexit(remove_temporary_file);
    catch_stop_signals();
    if (!create_temporary_file()) stop_with_errno("cannot create");
}

void check_result_file() {
    if (std::fflush(ResultFile) != 0 || std::ferror(ResultFile)) stop_with_errno("cannot write");
}

void replace_result_file() {
    check_result_file();
    const bool closed = std::fclose(ResultFile) == 0;
    ResultFile = nullptr;
    if (!closed) stop_with_errno("cannot write");
#if defined(_WIN32)
    // std::rename does not replace an existing file on Windows.
    const bool replaced = MoveFileExA(TempName, ResultName, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!replaced) errno = EACCES;  // the result file is open in another program, say
#else
    const bool replaced = std::rename(TempName, ResultName) == 0;  // atomic
#endif
    if (!replaced) stop_with_errno("cannot replace");
    TempExists = 0;
}
