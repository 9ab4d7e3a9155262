#include <memory>

#include "cli/ExitStatus.h"
#include "cli/JsonText.h"
#include "cli/LoadValues.h"
#include "cli/Output.h"
#include "cli/commands/Command.h"
#include "link/FrameDecoder.h"
#include "store/ParameterFile.h"

namespace {

int PrintFrame(const ValueSource& values, bool json) {
    const UploadFrame frame = FrameOf(LoadValues(values, WhenMissing::kRefuse).set);
    PrintLine(json ? JsonText({{"bytes", FrameHex(frame, "")}}) : FrameHex(frame, " "));
    return kExitDone;
}

} // namespace

CommandAction DeclareFrame(CLI::App& command) {
    struct Options {
        ValueSource framed{kParameterFileName, {}};
        bool json = false;
    };
    const auto options = std::make_shared<Options>();
    command.description("print the 19-byte frame the values give, in hex");
    AddFile(command, options->framed.file);
    AddChanges(command, options->framed.assignments);
    AddJson(command, options->json);
    return [options] { return PrintFrame(options->framed, options->json); };
}
