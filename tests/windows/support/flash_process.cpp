#include "tests/windows/support/flash_process.h"

#include <algorithm>

namespace ostrel::test {
namespace {
// How often the output is collected while the program runs.
constexpr DWORD kPumpMilliseconds = 20;
}  // namespace

std::wstring Wide(const std::string& utf8) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

FlashProcess::FlashProcess(const std::string& arguments) {
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program(self, length);
    program = program.substr(0, program.find_last_of(L'\\') + 1) + L"ostrel-flash.exe";
    std::wstring command = L"\"" + program + L"\" " + Wide(arguments);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&output_, &writeEnd, &inherit, 0)) return;
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process_)) {
        process_ = {};
    }
    CloseHandle(writeEnd);
}

FlashProcess::~FlashProcess() {
    if (process_.hProcess != nullptr) {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 0xFFFFFFFF);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    if (output_ != nullptr) CloseHandle(output_);
}

// Wine may start its desktop process from the program's, and that one keeps the inherited
// output pipe open after the program ends: the end of the output is the end of the program, not
// of the pipe.
bool FlashProcess::Pump() {
    const bool ended = WaitForSingleObject(process_.hProcess, kPumpMilliseconds) == WAIT_OBJECT_0;
    char chunk[4096];
    DWORD available = 0;
    while (PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD got = 0;
        if (!ReadFile(output_, chunk, std::min<DWORD>(available, sizeof chunk), &got, nullptr)) {
            break;
        }
        received_.append(chunk, got);
    }
    return !ended;
}

bool FlashProcess::ReadUntil(const std::string& text) {
    if (!Started()) return false;
    while (received_.find(text) == std::string::npos) {
        if (!Pump()) return received_.find(text) != std::string::npos;
    }
    return true;
}

Finished FlashProcess::Finish() {
    Finished finished;
    if (!Started()) return finished;
    while (Pump()) {
    }
    GetExitCodeProcess(process_.hProcess, &finished.exitCode);
    finished.output = received_;
    return finished;
}

Finished RunFlash(const std::string& arguments) {
    FlashProcess flash(arguments);
    return flash.Finish();
}

}  // namespace ostrel::test
