// The process clock of the run's time lines, which the pi run's progress lines and the
// report read.
#include <chrono>

#include "driver/driver.h"

int clock_ms() {
    static const auto start = std::chrono::steady_clock::now();
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
}
