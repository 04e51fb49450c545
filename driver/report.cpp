// The result report: the timing line, then the decimals of pi in numbered lines of 80.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arith/long_number.h"
#include "driver/driver.h"

void format_exponent3(double v, char* out, int size) {
    // "%e" with the exponent in three digits: 1.907349e-006.
    char plain[24];  // "%e" of a double takes at most 14 characters
    std::snprintf(plain, sizeof plain, "%e", v);
    char* e = std::strchr(plain, 'e');
    if (e == nullptr) {  // inf or nan: nothing to widen
        std::snprintf(out, size, "%s", plain);
        return;
    }
    *e = '\0';
    const int exponent = std::atoi(e + 1);
    std::snprintf(out, size, "%se%c%03d", plain, exponent < 0 ? '-' : '+', std::abs(exponent));
}

void write_report(double* sum, int word_count, int digits_per_word, int start_tick,
                  double largest_error) {
    // Plain digits for the output; words 2 .. word_count+3 become 0..99999 and every borrow
    // reaches word 1, the integer part.
    CarryMode = 1;
    normalize_carries(sum + 1, word_count + 3);

    const double seconds = (clock_ms() - start_tick) / 1000.0;
    char error_text[48];
    format_exponent3(largest_error, error_text, sizeof error_text);
    const char* timing_line = "  Total Time= %f (s)  Rounding Error= %s \n";
    std::printf(timing_line, seconds, error_text);
    std::fprintf(ResultFile, timing_line, seconds, error_text);

    // Word w holds decimals 5(w-2)+1 .. 5(w-1). Two words per group, eight groups per line;
    // an odd word count prints one word past the last decimal word in its last group.
    std::fputs("  Pi = 3. ", ResultFile);
    for (int j = 1; j <= word_count; j += 16) {
        const int count = min(16, word_count - j + 1);
        std::fprintf(ResultFile, "\n %8d", (j - 1) * digits_per_word + 1);
        for (int k = 1; k <= count; k += 2) {
            std::fprintf(ResultFile, " %5.5d%5.5d", static_cast<int>(sum[j + k]),
                         static_cast<int>(sum[j + k + 1]));
        }
    }
    check_result_file();
}
