// The run driver: console dialogue, sizing of the run, the loop over formula terms and the
// result report.
#pragma once

#include <cstdio>

#include "arith/long_number.h"

// The result file of the run: a temporary file beside "AtanDRM?.txt", created by run_setup
// (create_result_file) and written to the end of the run, when it replaces "AtanDRM?.txt"
// (replace_result_file).
extern std::FILE* ResultFile;

// The pi accumulator, a number of the run's working length (capacity ND words).
extern double* PiSum;

// Lays out the working arrays of a run of working length n (8 <= n <= 2^18, a power of two)
// one after another in the static working area: the pi accumulator, the arctangent's numbers
// and work, the products' scratch and tables (drm.h, fft.h). Asks for large pages over the
// part it takes and prepares the transforms. Before it, no working array exists; the tests
// and the benchmarks lay out the longest length once.
void lay_out_working_memory(int n);

// Milliseconds of wall-clock time since the process clock started (its first call).
int clock_ms();

// The sizes of a run of n >= 1 decimals, in 64 bits so that no answer overflows them.
struct RunSizes {
    unsigned long long words;   // n / 5 rounded up
    unsigned long long digits;  // words * 5, the "Pi Decimal" count
    unsigned long long fmt;     // the FMT size: the smallest power of two above `words`
};
RunSizes size_run(unsigned long long n);

// Asks for the formula ID and the digit count N, creates the result file (create_result_file),
// writes the two header lines to the console and the file and sizes the run. Returns the formula
// index (ID - 1) and delivers, in this order, the FMT size (the working length, a power of two
// strictly above the word count), the word count (N/5 rounded up), the digit count (word
// count * 5) and the digits per word (5).
// Stops the process with status 1 when the FMT size exceeds `capacity`, when an answer is
// missing or cannot be read or N is not a whole number of at least 1, or when the result
// file cannot be made.
int run_setup(int slot, int capacity, int* fmt_size, int* word_count, int* digit_count,
              int* digits_per_word);

// Console " ** Error Stop ** <message> \n", then std::exit(1) (flush_console first). Every
// stop of a run ends in std::exit, which removes the temporary result file
// (create_result_file).
[[noreturn]] void error_stop(const char* message);

// Flushes standard output. When that or any earlier console write failed, writes
// " ** Error Stop ** cannot write the console: <reason> \n" on standard error and exits with
// status 1, removing the temporary result file; with standard error gone too, the status is
// the only report.
void flush_console();

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed at start, so that no file
// of the run takes its place and receives console text (POSIX; the Windows C runtime does
// the equivalent itself). Exits with status 1 when /dev/null cannot be opened.
void open_standard_streams();

// Opens ResultFile on a new temporary file beside `name` (the result file's name, up to 12
// characters), "<name>.<pid>-<k>.tmp" for the first k below 100 whose name is free, created
// exclusively with the permissions of a new file. Registers its removal at std::exit and, on
// POSIX, on every signal whose default action ends the process (SIGHUP, SIGINT, SIGQUIT,
// SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF; SIGSEGV and SIGBUS
// on a stack of their own), each ending the process by that signal afterwards. Only a file
// this run created is ever removed. Stops with status 1 when `name` is a directory, a
// read-only file or one the user may not write, another user's file in a sticky directory,
// or a mount point, or when no temporary file can be created.
void create_result_file(const char* name);

// Flushes the result file; stops the process with status 1 and a console line naming the
// file when that or any earlier write to it failed (a full disk, a file-size limit).
void check_result_file();

// Flushes, syncs to the disk and closes the complete result file, flushes the console
// (flush_console), then puts the file in place of the result file's name, replacing a file or
// symbolic link of that name at once, and syncs the directory. Stops with status 1 when a
// write, the sync, the close, the console or the replacement fails. From the replacement on,
// the stop signals wait, and are lost at the exit: the process must exit without another
// console write.
void replace_result_file();

// The DRM steps of n/4 terms each that atan(1/x) needs for digits_per_word * word_count
// decimals at working length n, plus one, truncated.
int drm_step_count(int x, int digits_per_word, int word_count, int n);

// Turns the leading words of sum (pi, balanced digits) into plain digits and writes the
// timing line to the console and the result file, then "  Pi = 3. " and the decimals in
// numbered lines of 80. Ends with check_result_file; the file is still the temporary one.
void write_report(double* sum, int word_count, int digits_per_word, int start_tick,
                  double largest_error);

// "%e" of v with a three-digit exponent ("1.907349e-006") into out.
void format_exponent3(double v, char* out, int size);

// The whole program: set-up, the pi computation, the report and the replacement of the
// result file. Returns the exit status.
int pi_run();
