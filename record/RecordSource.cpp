#include "record/RecordSource.h"

std::size_t RecordInMemory::ReadAll(const Take& take) {
    for (std::size_t i = 0; i < record_.entries.size(); ++i) {
        take(record_.entries[i], {i, 0, 0});
    }
    return record_.leftOut;
}
