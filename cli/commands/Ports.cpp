#include <memory>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/JsonText.h"
#include "cli/Output.h"
#include "cli/PortList.h"
#include "cli/commands/Command.h"

namespace {

int ListPorts(bool json) {
    const std::vector<PortEntry> ports = ListSerialPorts();
    if (json) {
        Json list = Json::array();
        for (const PortEntry& entry : ports) {
            list.push_back({{"port", entry.port}, {"device", entry.device}});
        }
        PrintLine(JsonText(list));
        return kExitDone;
    }
    for (const PortEntry& entry : ports) {
        PrintLine(entry.port == entry.device ? entry.port : entry.port + "  " + entry.device);
    }
    if (ports.empty()) {
        Complain("no serial ports found");
    }
    return kExitDone;
}

} // namespace

CommandAction DeclarePorts(CLI::App& command) {
    const auto json = std::make_shared<bool>(false);
    command.description("list the serial ports present");
    AddJson(command, *json);
    return [json] { return ListPorts(*json); };
}
