// The native build's answers for the page's core test: for each input line (a parameter file's
// text in hex), what the file reader, writer, frame, validation and echo rule give. The Node
// test asks the WebAssembly module the same and compares byte for byte.

#include <iostream>
#include <string>

#include "link/EchoRule.h"
#include "link/FrameDecoder.h"
#include "model/ParameterTable.h"
#include "model/ParameterText.h"

namespace {

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + ";";
    }
    return text;
}

// The frame echoed whole, cut short after `keep` bytes, and with byte `flip` inverted.
std::string EchoOutcomes(const UploadFrame& frame, std::size_t variant) {
    UploadFrame changed = frame;
    changed[variant % frame.size()] ^= 0xFF;
    const EchoResult results[] = {JudgeEcho(frame, frame.data(), frame.size()),
                                  JudgeEcho(frame, frame.data(), variant % frame.size()),
                                  JudgeEcho(frame, changed.data(), changed.size())};
    std::string text;
    for (const EchoResult& result : results) {
        text += std::string(EchoOutcomeName(result.outcome)) + ":" +
                EchoReason(result, Language::kEnglish) + ":" +
                EchoReason(result, Language::kChinese) + ";";
    }
    return text;
}

} // namespace

int main() {
    std::string line;
    for (std::size_t variant = 0; std::getline(std::cin, line); ++variant) {
        ParameterSet set;
        const ParameterReading reading = ReadParameterText(FromHex(line), set);
        UploadFrame frame{};
        BuildUploadFrame(set, frame);
        ParameterSet synced = set;
        synced.CopyForwardToReverse();
        std::cout << reading.values << ',' << static_cast<int>(reading.stop) << ','
                  << reading.stopOffset << ',' << reading.byteOrderMark << '|'
                  << WriteParameterText(set) << '|' << FrameHex(frame, " ") << '|'
                  << Joined(RefusedValues(set, true)) << '|' << Joined(RefusedValues(set, false))
                  << '|' << WriteParameterText(synced) << '|' << EchoOutcomes(frame, variant)
                  << '\n';
    }
}
