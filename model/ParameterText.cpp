#include "model/ParameterText.h"

#include "model/DecimalScan.h"
#include "model/ParameterTable.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

} // namespace

ParameterReading ReadParameterText(std::string_view bytes, ParameterSet& set) {
    const bool cut = bytes.size() >= kParameterFileReadLimit;
    bytes = bytes.substr(0, kParameterFileReadLimit);
    ParameterReading reading;
    const char* const start = bytes.data();
    const char* const end = start + bytes.size();
    const char* p = start;
    if (bytes.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        reading.byteOrderMark = true;
        p += kUtf8ByteOrderMark.size();
    }
    reading.stop = ReadStop::kComplete;
    for (const ParameterField* field : FieldsInFileOrder()) {
        while (p != end && IsScanBlank(*p)) {
            ++p;
        }
        const char* const number = p;
        int value = 0;
        const ScanStatus status = ScanDecimalInt(p, end, value);
        // Cut at the limit: nothing left, a lone sign, or digits up to it may go on beyond.
        const bool loneSign = end - number == 1 && (*number == '+' || *number == '-');
        const bool runsIntoCut =
            cut && (status == ScanStatus::kOk ? p == end : number == end || loneSign);
        if (runsIntoCut) {
            reading.stop = ReadStop::kReadLimit;
            p = number;
            break;
        }
        if (status != ScanStatus::kOk) {
            reading.stop = status == ScanStatus::kOutOfRange ? ReadStop::kOutOfRange
                           : number == end                   ? ReadStop::kEndOfText
                                                             : ReadStop::kNotANumber;
            p = number;
            break;
        }
        set.*(field->member) = value;
        ++reading.values;
    }
    reading.stopOffset = static_cast<std::size_t>(p - start);
    return reading;
}

std::string WriteParameterText(const ParameterSet& set) {
    std::string text;
    for (const ParameterField* field : FieldsInFileOrder()) {
        text += std::to_string(set.*(field->member));
        text += ' ';
    }
    return text;
}
