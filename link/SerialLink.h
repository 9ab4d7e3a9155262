#pragma once

#include <optional>

#include <windows.h>

#include "link/EchoRule.h"
#include "link/PortFailure.h"
#include "link/UploadFrame.h"
#include "platform/Handles.h"

// The COM port to the controller. Every call blocks the calling thread until the port answers
// or its time-outs expire; nothing here shows a message.
class SerialLink {
public:
    // 1 when port "COM<number>" is open and configured, or when a port was already open (that
    // one stays open: move to another port with ClosePort first). 0 on failure.
    int OpenPort(int number);
    // The same, telling why the port could not be opened; nothing when it is open.
    std::optional<PortFailure> Open(int number);
    void ClosePort();
    // 1 when the frame went out whole and the same 19 bytes came back, 0 otherwise.
    int SendFrame(const UploadFrame& frame);
    // The same exchange, telling how it ended: kLineLost when a call on the port failed, i.e.
    // the device has gone (an unplugged adapter), as opposed to a silent or wrong controller.
    // Nothing when no port is open: nothing was sent.
    std::optional<EchoResult> Exchange(const UploadFrame& frame);
    bool IsOpen() const { return hLinkHandle.IsValid(); }

    FileHandle hLinkHandle;
    DCB dcb{};
    // 1 exactly while hLinkHandle holds a port: the two change together, in Hold and nowhere
    // else, and every decision asks the handle.
    int bOpened = 0;

private:
    void Hold(FileHandle port);
};
