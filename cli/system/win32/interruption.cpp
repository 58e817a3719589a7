// Interruption requests on Windows: Ctrl-C, Ctrl-Break and closing the console window. The
// handler runs on a thread of its own that the system starts for the event.
#include "cli/system/interruption.h"

#include <windows.h>

#include <atomic>

#include "cli/system/console_output.h"

namespace ostrel::cli {
namespace {

int stopExitCode = 1;  // set once, before the handler is installed

// The events that wake the run's waits; null when free.
constexpr int kWakeSlots = 8;
std::atomic<HANDLE> wakeEvents[kWakeSlots] = {nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr};
// Said before the run ends at once; the console handler runs on a thread of its own.
std::atomic<const std::function<void()>*> lastWords{nullptr};

void WakeAll() {
    for (const std::atomic<HANDLE>& slot : wakeEvents) {
        if (HANDLE event = slot.load()) SetEvent(event);
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            if (const int requests = CountInterruptionRequest(); RequestEndsAtOnce(requests)) {
                // A further request ends the run while the last words are being said.
                const std::function<void()>* words =
                    RequestEndsAtOnce(requests - 1) ? nullptr : lastWords.load();
                if (words != nullptr) (*words)();
                EndAtOnce();
            }
            WakeAll();
            return TRUE;
        case CTRL_CLOSE_EVENT:
            // Windows ends the program some seconds after its console closes, far sooner than
            // a tracker is written: every tracker stops at its next exchange, and is reported.
            while (RequestedStop() != StopAsked::AtNextExchange) CountInterruptionRequest();
            WakeAll();
            // The program ends once a handler returns from the close: hold it until the run
            // has reported and ends by itself.
            Sleep(INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

struct LastWordsThread {};

LastWords::LastWords(std::function<void()> words) : words_(std::move(words)) {
    lastWords.store(&words_);
}

LastWords::~LastWords() {
    lastWords.store(nullptr);
}

void EndAtOnce() {
    static const char kStoppedAtOnce[] =
        "\r\nostrel-flash: stopped at once, perhaps inside an exchange: re-power the tracker and "
        "run it again\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kStoppedAtOnce, sizeof kStoppedAtOnce - 1, &written,
              nullptr);
    RestoreConsoleMode();  // ExitProcess runs no exit handlers
    ExitProcess(static_cast<UINT>(stopExitCode));
}

void InstallInterruptionHandlers(int exitCode) {
    stopExitCode = exitCode;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopWake::StopWake() {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // reset by the wait it ends
    if (event == nullptr) return;
    handle_ = reinterpret_cast<std::intptr_t>(event);
    for (std::atomic<HANDLE>& slot : wakeEvents) {
        HANDLE free = nullptr;
        if (slot.compare_exchange_strong(free, event)) break;
    }
}

StopWake::~StopWake() {
    HANDLE event = reinterpret_cast<HANDLE>(handle_);
    for (std::atomic<HANDLE>& slot : wakeEvents) {
        HANDLE mine = event;
        slot.compare_exchange_strong(mine, nullptr);
    }
    if (event != nullptr) CloseHandle(event);
}

bool StopWake::Wait(int milliseconds) {
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    return WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), limit) == WAIT_OBJECT_0;
}

void StopWake::Poke() {
    SetEvent(reinterpret_cast<HANDLE>(handle_));
}

void StopWake::Drain() {
    ResetEvent(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace ostrel::cli
