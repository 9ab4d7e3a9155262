#include <cstdio>

#include "platform/StandardDescriptors.h"
#include "sim/SimOptions.h"
#include "sim/Simulator.h"

int main(int argc, char** argv) {
    if (!FillClosedStandardDescriptors()) {
        return 1;
    }
    const ParsedOptions parsed = ParseSimOptions(argc, argv);
    if (!parsed.options) {
        std::fputs(parsed.output.c_str(), parsed.exitStatus == 0 ? stdout : stderr);
        return parsed.exitStatus;
    }
    Simulator simulator(*parsed.options);
    return simulator.Run();
}
