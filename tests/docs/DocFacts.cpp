// The facts the documents repeat, as the code has them, one "key value" a line for
// check-facts.py and the page's core test: each stored value's range, start value and place in
// the file, the file's name and read limit, the first file and frame of the start values, the
// delays' unit on the wire and the line's time-outs.

#include <iostream>

#include "link/EchoRule.h"
#include "link/FrameDecoder.h"
#include "link/UploadFrame.h"
#include "model/ParameterTable.h"
#include "model/ParameterText.h"
#include "record/RecordEntry.h"

int main() {
    ParameterSet start;
    start.ApplyMissingFileValues();
    for (const ParameterField& field : ParameterFields()) {
        std::cout << "field " << field.name << ' ' << field.min << ' ' << field.max << ' '
                  << start.*field.member << ' ' << field.filePosition + 1 << '\n';
    }
    UploadFrame frame{};
    BuildUploadFrame(start, frame);
    std::cout << "unit_label_limit " << kUnitLabelLimit << "\nfile_name " << kParameterFileName
              << "\nread_limit " << kParameterFileReadLimit << "\nstart_file "
              << WriteParameterText(start) << "|\n";
    std::cout << "start_frame " << FrameHex(frame, " ") << '\n';

    // A delay of one second, as the frame carries it.
    ParameterSet delayed = start;
    delayed.m_nHomeDelay = 1000;
    delayed.m_bHomeDelayOn = 1;
    BuildUploadFrame(delayed, frame);
    std::cout << "delay_unit_ms " << 1000 / (frame[12] << 16 | frame[13] << 8 | frame[14]) << '\n';

    using namespace LineTiming;
    std::cout << "baud " << kBaudRate << "\nqueue " << kQueueSize << "\nper_byte_ms " << kPerByteMs
              << "\nconstant_ms " << kConstantMs << "\ninterval_ms " << kIntervalMs
              << "\nframe_limit_ms " << TransferLimitMs(frame.size()) << "\nbyte_time_us "
              << WireTime(1).count() / 1000 << '\n';
}
