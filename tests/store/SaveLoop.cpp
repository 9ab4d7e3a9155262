// save_loop: saves numbered parameter sets in the working directory until it is killed, or, as
// "save_loop FIELD TIMES", changes the field that many times (SaveLoop.h).
#include <cstdlib>

#include "SaveLoop.h"

int main(int argc, char** argv) {
    if (argc == 3) {
        return CountUp(std::atoi(argv[1]), std::atoi(argv[2]));
    }
    SaveForever();
}
