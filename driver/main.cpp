#include "driver/driver.h"

int main() {
    return pi_run();
}
