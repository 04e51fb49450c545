// The run driver: console dialogue, sizing of the run, the loop over formula terms and the
// result report.
#pragma once

#include <cstdio>

// The result file "AtanDRM?.txt", opened by run_setup and written to the end of the run.
extern std::FILE* ResultFile;

// The sizes of a run of n >= 1 decimals, in 64 bits so that no answer overflows them.
struct RunSizes {
    unsigned long long words;   // n / 5 rounded up
    unsigned long long digits;  // words * 5, the "Pi Decimal" count
    unsigned long long fmt;     // the FMT size: the smallest power of two above `words`
};
RunSizes size_run(unsigned long long n);

// Asks for the formula ID and the digit count N, creates the result file, writes the two
// header lines to the console and the file and sizes the run. Returns the formula index
// (ID - 1) and delivers, in this order, the FMT size (the working length, a power of two
// strictly above the word count), the word count (N/5 rounded up), the digit count (word
// count * 5) and the digits per word (5).
// Stops the process with status 1 when the FMT size exceeds `capacity`, when an answer is
// missing or N is not a whole number of at least 1, or when the result file cannot be made.
int run_setup(int slot, int capacity, int* fmt_size, int* word_count, int* digit_count,
              int* digits_per_word);

// The whole program: set-up, the pi computation and the report. Returns the exit status.
int pi_run();
