// The pi run: set-up, the sum of the chosen formula's arctangent terms, the report.
#include <cmath>
#include <cstdio>

#include "arith/long_number.h"
#include "driver/driver.h"
#include "drm/drm.h"
#include "fft/fft.h"

double* PiSum;

namespace {

struct Term {
    int coefficient, x;
};
struct Formula {
    int term_count;
    Term terms[4];
};

// Pi = sum of coefficient * atan(1/x) over each formula's terms, indexed by ID - 1.
const Formula FormulaTable[5] = {
    {2, {{16, 5}, {-4, 239}}},                             // Machin
    {3, {{48, 18}, {32, 57}, {-20, 239}}},                 // Gauss
    {3, {{32, 10}, {-4, 239}, {-16, 515}}},                // Klingenstierna
    {4, {{176, 57}, {28, 239}, {-48, 682}, {96, 12943}}},  // Stoermer
    {4, {{48, 49}, {128, 57}, {-20, 239}, {48, 110443}}},  // Takano
};

// The DRM arctangent needs blocks of at least two terms: n/4 >= 2.
constexpr int ShortestWorkingLength = 8;

// The longest working length, that of 1,310,715 decimals.
constexpr int LongestWorkingLength = 1 << 18;

// Doubles of working memory a run of working length n takes.
constexpr std::int64_t working_memory_words(std::int64_t n) {
    return slice_words(n + 3) + drm_memory_words(n) + fft_memory_words(n);
}

// Every working array of a run. Only the part a run lays out is ever touched: 5.25 MiB of it
// at 10^5 decimals (three large pages), 42 MiB at 10^6.
alignas(LargePage) double WorkingMemory[working_memory_words(LongestWorkingLength)];

}  // namespace

void lay_out_working_memory(int n) {
    assert(n >= 8 && n <= LongestWorkingLength && (n & (n - 1)) == 0);
    double* next = WorkingMemory;
    PiSum = take_slice(&next, n + 3LL);
    next = lay_out_drm_memory(next, n);
    next = lay_out_fft_memory(next, n);
    assert(next - WorkingMemory == working_memory_words(n));
    // Before the first write to any of it.
    hold_in_large_pages(WorkingMemory, sizeof(double) * (next - WorkingMemory),
                        sizeof WorkingMemory);
    prepare_transforms(n);
}

int drm_step_count(int x, int digits_per_word, int word_count, int n) {
    // Blocks of n/4 terms, each term x^2 smaller than the one before: the blocks that
    // digits_per_word * word_count decimals need, plus one, truncated. Evaluated in exactly
    // this order, so the counts are reproducible.
    const double r = std::log(10.0) / std::log(static_cast<double>(x));
    return static_cast<int>(static_cast<double>(digits_per_word) * 2.0 * word_count * r / n + 1.0);
}

int pi_run() {
    clock_ms();  // starts the process clock
    int fmt_size, word_count, digit_count, digits_per_word;
    const int f = run_setup(2, ND, &fmt_size, &word_count, &digit_count, &digits_per_word);
    // Up to 15 decimals the FMT size is 2 or 4, too short for the DRM blocks. Such runs
    // compute as the longest run of 8 words does (7 words of decimals) and print their own
    // leading words: with 8 words but only their own word count, the "+1 block" of the step
    // count would be a block of two terms, too few for Gauss's 48*atan(1/18) at 5 decimals.
    const bool raised = fmt_size < ShortestWorkingLength;
    const int n = raised ? ShortestWorkingLength : fmt_size;
    const int computed_words = raised ? ShortestWorkingLength - 1 : word_count;

    const int run_start = clock_ms();
    lay_out_working_memory(n);
    double largest_error = 0.0;
    fill_words(0, PiSum, n + 1);
    const Formula& formula = FormulaTable[f];
    for (int i = 0; i < formula.term_count; ++i) {
        const int term_start = clock_ms();
        const Term& term = formula.terms[i];
        const int steps = drm_step_count(term.x, digits_per_word, computed_words, n);
        largest_error = max2(largest_error, atan_drm(term.x, n, steps));
        mul_small(AtanSum, term.coefficient, PowerWork, n);
        add_aligned(PiSum, PowerWork, AtanSum, n, +1);
        copy_words(AtanSum, PiSum, n + 1);
        std::printf("  ATAN(1/%6d),  DRM Step=%3d,  Time=%8.2f (s)\n", term.x, steps,
                    (clock_ms() - term_start) / 1000.0);
        flush_console();
    }
    write_report(PiSum, word_count, digits_per_word, run_start, largest_error);
    replace_result_file();
    return 0;
}
