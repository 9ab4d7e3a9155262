#include <memory>
#include <optional>

#include "cli/ExitStatus.h"
#include "cli/JsonText.h"
#include "cli/Output.h"
#include "cli/commands/Command.h"
#include "console/FrameOutput.h"
#include "link/FrameDecoder.h"

namespace {

// The frame as decode takes it, in the words its help and its errors use.
constexpr char kHexFrameForm[] =
    "38 hex digits, either case, with nothing or one space, colon or dash between two bytes";

int DecodeHex(const std::string& hex, bool json) {
    const std::optional<UploadFrame> frame = ParseHexFrame(hex);
    if (!frame) {
        throw CommandError(kExitUsage, "'" + hex + "' is not a frame: expected " + kHexFrameForm);
    }
    const DecodedFrame decoded = DecodeFrame(*frame);
    PrintLine(json ? JsonText(FrameJson(decoded)) : DescribeFrame(decoded));
    return kExitDone;
}

} // namespace

CommandAction DeclareDecode(CLI::App& command) {
    struct Options {
        std::string hex;
        bool json = false;
    };
    const auto options = std::make_shared<Options>();
    command.description("decode a frame given as 38 hex digits");
    command.add_option("HEX", options->hex, std::string("the frame: ") + kHexFrameForm)->required();
    AddJson(command, options->json);
    return [options] { return DecodeHex(options->hex, options->json); };
}
