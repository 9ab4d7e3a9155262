// open_port_probe <n>: exits with OpenPort(n)'s result, holding the port for no longer.
#include <cstdlib>

#include "link/SerialLink.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    SerialLink link;
    return link.OpenPort(std::atoi(argv[1]));
}
