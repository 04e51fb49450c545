#include <csignal>

#include "driver/driver.h"

int main() {
#ifdef SIGXFSZ
    // Past a file-size limit the write fails and the run says so, instead of the signal
    // killing the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return pi_run();
}
