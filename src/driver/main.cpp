#include "driver/driver.h"

int main(int argc, char** argv) {
    return vx::driver::run_optimizer(argc, argv);
}
