#include <cstdio>

#include "sim/SimOptions.h"
#include "sim/Simulator.h"

int main(int argc, char** argv) {
    const ParsedOptions parsed = ParseSimOptions(argc, argv);
    if (!parsed.options) {
        std::fprintf(stderr, "vkd37-sim: %s\nTry 'vkd37-sim --help' for the options.\n",
                     parsed.error.c_str());
        return 2;
    }
    if (parsed.options->help) {
        std::fputs(kSimUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(kSimHelp, stdout);
        return 0;
    }
    if (parsed.options->version) {
        std::printf("vkd37-sim %s\n", VKD_VERSION);
        return 0;
    }
    Simulator simulator(*parsed.options);
    return simulator.Run();
}
