// Run set-up: the console dialogue, the result file and the sizes of the run.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arith/long_number.h"
#include "driver/driver.h"

namespace {

struct Method {
    const char* name;          // printed in the header lines
    const char* id_prompt;     // 28 characters
    const char* id_list;       // 51 characters
    const char* file_pattern;  // 12 characters; index 7 is the '?' the ID replaces
    int largest_id;
};

// The four method slots. The program computes with slot 2; the others are names only.
const Method MethodTable[4] = {
    {"Atan Original", " Type In ID, (ID=1,2,3,4,5) ",
     " 1;Machin, 2;Gauss, 3;Klingen., 4;Stoemer, 5;Takano", "AtanORG?.txt", 5},
    {"AGM Gauss-Legendre", " Type In ID, (ID=1)         ",
     " 1;Gauss-Legendre (Now Only)                       ", "AGM-2nd?.txt", 1},
    {"DRM with Atan", " Type In ID, (ID=1,2,3,4,5) ",
     " 1;Machin, 2;Gauss, 3;Klingen., 4;Stoemer, 5;Takano", "AtanDRM?.txt", 5},
    {"DRM with Ramanujan", " Type In ID, (ID=1,2,3)     ",
     " 1;Chudnovsky, 2;Fast-Ramanujan 3;Free-Sqrt        ", "RamnDRM?.txt", 3},
};

constexpr int DigitsPerWord = 5;

// Huge: a whole number above LLONG_MAX. ReadError: standard input failed (errno tells why).
enum class Answer { Whole, Huge, NotWhole, EndOfInput, ReadError };

// Reads the next whitespace-separated token of standard input, as formatted input reads
// an integer answer. A token of an optional sign and at least one digit is Whole; its value
// saturates at +-LLONG_MAX, so no answer overflows, and a positive one that saturates is
// Huge. The token's first characters are kept in `text` for messages.
Answer read_answer(long long* value, char* text, int text_size) {
    int c;
    do c = std::getchar();
    while (c != EOF && std::isspace(c));
    if (c == EOF) return std::ferror(stdin) ? Answer::ReadError : Answer::EndOfInput;

    int kept = 0, digits = 0;
    bool negative = false, whole = true, saturated = false;
    constexpr unsigned long long Largest = LLONG_MAX;
    unsigned long long magnitude = 0;
    for (int pos = 0; c != EOF && !std::isspace(c); ++pos, c = std::getchar()) {
        if (kept < text_size - 1) text[kept++] = static_cast<char>(c);
        if (pos == 0 && (c == '+' || c == '-')) {
            negative = c == '-';
        } else if (std::isdigit(c)) {
            ++digits;
            const unsigned d = static_cast<unsigned>(c - '0');
            saturated = saturated || magnitude > (Largest - d) / 10;
            magnitude = saturated ? Largest : magnitude * 10 + d;
        } else {
            whole = false;
        }
    }
    text[kept] = '\0';
    if (std::ferror(stdin)) return Answer::ReadError;
    if (!whole || digits == 0) return Answer::NotWhole;
    *value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return saturated && !negative ? Answer::Huge : Answer::Whole;
}

// Stops when an answer is missing or cannot be read: "no ID was given (end of input)".
[[noreturn]] void stop_without_answer(Answer answer, const char* what) {
    char message[160];
    if (answer == Answer::ReadError) {
        std::snprintf(message, sizeof message, "no %s was given (cannot read standard input: %s)",
                      what, std::strerror(errno));
    } else {
        std::snprintf(message, sizeof message, "no %s was given (end of input)", what);
    }
    error_stop(message);
}

}  // namespace

void error_stop(const char* message) {
    std::printf(" ** Error Stop ** %s \n", message);
    flush_console();
    std::exit(1);
}

void flush_console() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return;
    // errno is the failed write's; 0 only when an earlier write failed and nothing since.
    const int error = errno != 0 ? errno : EIO;
    // A standard error that cannot be written either leaves the exit status as the report.
    std::fprintf(stderr, " ** Error Stop ** cannot write the console: %s \n", std::strerror(error));
    std::exit(1);
}

RunSizes size_run(unsigned long long n) {
    RunSizes sizes;
    sizes.words = n / DigitsPerWord + (n % DigitsPerWord != 0);
    sizes.digits = sizes.words * DigitsPerWord;
    // Strictly above: 7 words give 8, 8 words give 16. At most 2^61 for any 64-bit n.
    sizes.fmt = 2;
    while (sizes.fmt <= sizes.words) sizes.fmt *= 2;
    return sizes;
}

int run_setup(int slot, int capacity, int* fmt_size, int* word_count, int* digit_count,
              int* digits_per_word) {
    Radix = ipow(10, DigitsPerWord);
    CarryMode = -1;
    if (slot < 0 || slot > 3) slot = 0;
    const Method& method = MethodTable[slot];

    char text[64], message[160];
    std::printf("%s \n", method.id_prompt);
    std::printf("%s \n", method.id_list);
    flush_console();
    long long answer = 0;
    const Answer id_answer = read_answer(&answer, text, sizeof text);
    if (id_answer == Answer::EndOfInput || id_answer == Answer::ReadError)
        stop_without_answer(id_answer, "ID");
    // An ID that is not a whole number, or out of range, silently becomes 1.
    const int id = id_answer == Answer::Whole && answer >= 1 && answer <= method.largest_id
                       ? static_cast<int>(answer)
                       : 1;

    char file_name[13];
    std::memcpy(file_name, method.file_pattern, sizeof file_name);
    file_name[7] = static_cast<char>('0' + id);
    create_result_file(file_name);

    std::printf(" Type In N (N=Number of Pi Decimal-Digits) \n");
    flush_console();
    const Answer n_answer = read_answer(&answer, text, sizeof text);
    if (n_answer == Answer::EndOfInput || n_answer == Answer::ReadError)
        stop_without_answer(n_answer, "N");
    if (n_answer == Answer::NotWhole) {
        std::snprintf(message, sizeof message, "N must be a whole number, not \"%s\"", text);
        error_stop(message);
    }
    if (answer < 1) error_stop("N must be at least 1");

    // An N beyond int still reaches the capacity stop with its true sizes.
    const RunSizes sizes = size_run(static_cast<unsigned long long>(answer));
    char sizes_line[96];
    if (n_answer == Answer::Huge) {
        // Beyond 64 bits no size is exact: the line shows that N and the FMT size exceed the
        // largest the capacity allows.
        int largest_fmt = 2;
        while (largest_fmt <= capacity / 2) largest_fmt *= 2;
        std::snprintf(sizes_line, sizeof sizes_line, "  ID=%d,  Pi Decimal=> %d,  FMT Size=> %d\n",
                      id, (largest_fmt - 1) * DigitsPerWord, largest_fmt);
    } else {
        std::snprintf(sizes_line, sizeof sizes_line, "  ID=%d,  Pi Decimal=%llu,  FMT Size=%llu\n",
                      id, sizes.digits, sizes.fmt);
    }

    std::printf(" ** Pi Computation by %s \n", method.name);
    std::fprintf(ResultFile, " ** Pi Computation by %s ** \n", method.name);
    std::fputs(sizes_line, stdout);
    std::fputs(sizes_line, ResultFile);
    if (n_answer == Answer::Huge || sizes.fmt > static_cast<unsigned long long>(capacity))
        error_stop("N > ND");
    check_result_file();

    *fmt_size = static_cast<int>(sizes.fmt);
    *word_count = static_cast<int>(sizes.words);
    *digit_count = static_cast<int>(sizes.digits);
    *digits_per_word = DigitsPerWord;
    return id - 1;
}
