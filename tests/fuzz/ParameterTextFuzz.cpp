// Feeds arbitrary bytes to the parameter file reader. Besides what the sanitizers catch, it
// checks that whatever was read writes back to a file that reads the same values again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "model/ParameterTable.h"
#include "model/ParameterText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ParameterSet loaded;
    const ParameterReading reading =
        ReadParameterText(std::string_view(reinterpret_cast<const char*>(data), size), loaded);
    if (reading.values < 0 || reading.values > kStoredValueCount || reading.stopOffset > size ||
        (reading.stop == ReadStop::kComplete) != (reading.values == kStoredValueCount)) {
        std::abort();
    }
    ParameterSet reloaded;
    if (ReadParameterText(WriteParameterText(loaded), reloaded).values != kStoredValueCount) {
        std::abort();
    }
    reloaded.m_bAutoStart = loaded.m_bAutoStart; // not stored in the file
    reloaded.m_bLegendOn = loaded.m_bLegendOn;
    if (std::memcmp(&loaded, &reloaded, sizeof loaded) != 0) {
        std::abort();
    }
    return 0;
}
