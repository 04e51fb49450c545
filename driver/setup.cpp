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

enum class Answer { Whole, NotWhole, EndOfInput };

// Reads the next whitespace-separated token of standard input, as formatted input reads
// an integer answer. A token of an optional sign and at least one digit is Whole; its value
// saturates at +-LLONG_MAX, so no answer overflows. The token's first characters are kept
// in `text` for messages.
Answer read_answer(long long* value, char* text, int text_size) {
    int c;
    do c = std::getchar();
    while (c != EOF && std::isspace(c));
    if (c == EOF) return Answer::EndOfInput;

    int kept = 0, digits = 0;
    bool negative = false, whole = true;
    constexpr unsigned long long Largest = LLONG_MAX;
    unsigned long long magnitude = 0;
    for (int pos = 0; c != EOF && !std::isspace(c); ++pos, c = std::getchar()) {
        if (kept < text_size - 1) text[kept++] = static_cast<char>(c);
        if (pos == 0 && (c == '+' || c == '-')) {
            negative = c == '-';
        } else if (std::isdigit(c)) {
            ++digits;
            const unsigned d = static_cast<unsigned>(c - '0');
            magnitude = magnitude > (Largest - d) / 10 ? Largest : magnitude * 10 + d;
        } else {
            whole = false;
        }
    }
    text[kept] = '\0';
    if (!whole || digits == 0) return Answer::NotWhole;
    *value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return Answer::Whole;
}

}  // namespace

void error_stop(const char* message) {
    std::printf(" ** Error Stop ** %s \n", message);
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
    std::fflush(stdout);
    long long answer = 0;
    const Answer id_answer = read_answer(&answer, text, sizeof text);
    if (id_answer == Answer::EndOfInput) error_stop("no ID was given (end of input)");
    // An ID that is not a whole number, or out of range, silently becomes 1.
    const int id = id_answer == Answer::Whole && answer >= 1 && answer <= method.largest_id
                       ? static_cast<int>(answer)
                       : 1;

    char file_name[13];
    std::memcpy(file_name, method.file_pattern, sizeof file_name);
    file_name[7] = static_cast<char>('0' + id);
    create_result_file(file_name);

    std::printf(" Type In N (N=Number of Pi Decimal-Digits) \n");
    std::fflush(stdout);
    const Answer n_answer = read_answer(&answer, text, sizeof text);
    if (n_answer == Answer::EndOfInput) error_stop("no N was given (end of input)");
    if (n_answer == Answer::NotWhole) {
        std::snprintf(message, sizeof message, "N must be a whole number, not \"%s\"", text);
        error_stop(message);
    }
    if (answer < 1) error_stop("N must be at least 1");

    // An N beyond int still reaches the capacity stop with its true sizes.
    const RunSizes sizes = size_run(static_cast<unsigned long long>(answer));

    std::printf(" ** Pi Computation by %s \n", method.name);
    std::fprintf(ResultFile, " ** Pi Computation by %s ** \n", method.name);
    const char* sizes_line = "  ID=%d,  Pi Decimal=%llu,  FMT Size=%llu\n";
    std::printf(sizes_line, id, sizes.digits, sizes.fmt);
    std::fprintf(ResultFile, sizes_line, id, sizes.digits, sizes.fmt);
    if (sizes.fmt > static_cast<unsigned long long>(capacity)) error_stop("N > ND");
    check_result_file();

    *fmt_size = static_cast<int>(sizes.fmt);
    *word_count = static_cast<int>(sizes.words);
    *digit_count = static_cast<int>(sizes.digits);
    *digits_per_word = DigitsPerWord;
    return id - 1;
}
