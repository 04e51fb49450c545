#include <csignal>

#include "driver/driver.h"

int main() {
    // Before any file is opened: with descriptor 1 closed, the result file would take its
    // place and receive the console text.
    open_standard_streams();
#ifdef SIGXFSZ
    // Past a file-size limit the write fails and the run says so, instead of the signal
    // killing the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return pi_run();
}
