// save_loop: saves numbered parameter sets in the working directory until it is killed.
#include "SaveLoop.h"

int main() {
    SaveForever();
}
