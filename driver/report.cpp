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

namespace {

// "%5.5d" of a word into out, without its terminating zero; returns the characters written.
// A plain digit, 0..99999, takes five characters, written here digit by digit.
int put_word(int word, char* out) {
    if (word < 0 || word > 99999) {
        char text[16];
        const int length = std::snprintf(text, sizeof text, "%5.5d", word);
        std::memcpy(out, text, static_cast<std::size_t>(length));
        return length;
    }
    for (int i = 4; i >= 0; --i, word /= 10) out[i] = static_cast<char>('0' + word % 10);
    return 5;
}

}  // namespace

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
    // A line is formed in a buffer and written at once: at a million decimals the 12,500
    // lines took 110,000 formatted writes.
    std::fputs("  Pi = 3. ", ResultFile);
    for (int j = 1; j <= word_count; j += 16) {
        const int count = min(16, word_count - j + 1);
        char line[128];
        int length = std::snprintf(line, sizeof line, "\n %8d", (j - 1) * digits_per_word + 1);
        for (int k = 1; k <= count; k += 2) {
            line[length++] = ' ';
            length += put_word(static_cast<int>(sum[j + k]), line + length);
            length += put_word(static_cast<int>(sum[j + k + 1]), line + length);
        }
        std::fwrite(line, 1, static_cast<std::size_t>(length), ResultFile);
    }
    check_result_file();
}
