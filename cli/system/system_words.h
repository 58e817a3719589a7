#pragma once
// How the help names this system's serial ports and the requests that stop a run.
namespace ostrel::cli {

struct SystemWords {
    const char* examplePort;      // an adapter's port as --port takes it
    const char* scannedPorts;     // the ports tried when the adapter is not found by name
    const char* stopRequests;     // "Ctrl-C (...)": what asks a run to stop
    const char* stopRequestList;  // the same as a list
    const char* nullDevice;       // the empty device: --trace to it writes no trace
};

extern const SystemWords kSystemWords;

}  // namespace ostrel::cli
