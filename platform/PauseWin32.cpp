#include "platform/Pause.h"

#include <windows.h>

void PauseFor(std::chrono::milliseconds pause) {
    ::Sleep(pause.count() > 0 ? static_cast<DWORD>(pause.count()) : 0);
}
