// The pi run: set-up, the sum of the chosen formula's arctangent terms, the report.
#include "arith/long_number.h"
#include "driver/driver.h"

int pi_run() {
    int fmt_size, word_count, digit_count, digits_per_word;
    run_setup(2, ND, &fmt_size, &word_count, &digit_count, &digits_per_word);
    return 0;
}
