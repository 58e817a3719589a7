#include "device/win32/serial_port_win32.h"

#include <algorithm>
#include <limits>
#include <string>

namespace ostrel {
namespace win32 {
namespace {
constexpr DWORD kInputQueueSize = 65536;
constexpr DWORD kOutputQueueSize = 8192;
constexpr const char* kDevicePrefix = "\\\\.\\";

PortOpenError ErrorOfCreate(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return PortOpenError::NotFound;
        // A COM port that another program holds refuses every further open with this.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return PortOpenError::InUse;
        default:
            return PortOpenError::Other;
    }
}
}  // namespace

void SetLineSettings(DCB& settings) {
    settings.BaudRate = CBR_9600;
    settings.ByteSize = 8;
    settings.Parity = EVENPARITY;
    settings.StopBits = ONESTOPBIT;
}

void SetLinkTimeouts(COMMTIMEOUTS& timeouts) {
    timeouts.ReadIntervalTimeout = 150;
    timeouts.ReadTotalTimeoutMultiplier = 1;
    timeouts.ReadTotalTimeoutConstant = 200;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 100;
}

Win32SerialPort::~Win32SerialPort() {
    ClosePort();
}

bool Win32SerialPort::OpenPort(const std::string& name) {
    ClosePort();
    report_ = {};
    const std::string path = kDevicePrefix + name;
    HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return Refused(ErrorOfCreate(code), code);
    }
    // A port the driver will not configure is released at once rather than left to leak.
    const PortOpenError failed = Configure(handle);
    if (failed != PortOpenError::None) {
        const DWORD code = GetLastError();
        CloseHandle(handle);
        return Refused(failed, code);
    }
    // SetCommState succeeds on drivers that quietly drop even parity; reading back tells.
    DCB kept{};
    kept.DCBlength = sizeof(kept);
    report_.lineSettingsKept = GetCommState(handle, &kept) && kept.BaudRate == CBR_9600 &&
                               kept.ByteSize == 8 && kept.Parity == EVENPARITY &&
                               kept.StopBits == ONESTOPBIT;
    handle_ = handle;
    return true;
}

PortOpenError Win32SerialPort::Configure(HANDLE handle) {
    // A handle that is no communications device (a file, a printer) fails its first comm call.
    if (!SetupComm(handle, kInputQueueSize, kOutputQueueSize)) return PortOpenError::NotSerialPort;
    settings_.DCBlength = sizeof(settings_);
    if (!GetCommState(handle, &settings_)) return PortOpenError::NotSerialPort;
    foundSettings_ = settings_;
    SetLineSettings(settings_);
    if (!SetCommState(handle, &settings_)) return PortOpenError::SettingsRefused;
    PortOpenError failed = PortOpenError::None;
    if (!GetCommTimeouts(handle, &timeouts_)) {
        failed = PortOpenError::Other;
    } else {
        foundTimeouts_ = timeouts_;
        SetLinkTimeouts(timeouts_);
        if (!SetCommTimeouts(handle, &timeouts_)) {
            failed = PortOpenError::SettingsRefused;
        } else if (!SetCommMask(handle, EV_RXCHAR | EV_TXEMPTY)) {
            failed = PortOpenError::Other;
            SetCommTimeouts(handle, &foundTimeouts_);
        }
    }
    if (failed != PortOpenError::None) {
        const DWORD code = GetLastError();
        SetCommState(handle, &foundSettings_);  // given back as found
        SetLastError(code);
    }
    return failed;
}

bool Win32SerialPort::Refused(PortOpenError error, DWORD code) {
    report_.error = error;
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    report_.systemText = std::string(text, length);
    while (!report_.systemText.empty() &&
           (report_.systemText.back() == '\n' || report_.systemText.back() == '\r' ||
            report_.systemText.back() == '.' || report_.systemText.back() == ' ')) {
        report_.systemText.pop_back();
    }
    if (report_.systemText.empty()) report_.systemText = "error " + std::to_string(code);
    return false;
}

void Win32SerialPort::ClosePort() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // The port is left as it was found, for whatever uses it next.
    SetCommTimeouts(handle_, &foundTimeouts_);
    SetCommState(handle_, &foundSettings_);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

std::int32_t Win32SerialPort::PendingInputCount() {
    if (handle_ == INVALID_HANDLE_VALUE) return 0;
    DWORD errors = 0;  // line errors are cleared by the call and deliberately not reported
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status)) return 0;
    return static_cast<std::int32_t>(
        std::min<DWORD>(status.cbInQue, std::numeric_limits<std::int32_t>::max()));
}

void Win32SerialPort::FlushInput() {
    // Only the bytes counted now are discarded; later ones stay for the next exchange. The
    // driver queue may hold more than the buffer, so the count is read off in pieces.
    auto left = static_cast<DWORD>(PendingInputCount());
    while (left > 0) {
        const DWORD chunk = std::min<DWORD>(left, static_cast<DWORD>(discarded_.size()));
        DWORD got = 0;
        if (!ReadFile(handle_, discarded_.data(), chunk, &got, nullptr) || got == 0) return;
        left -= std::min(got, left);
    }
}

bool Win32SerialPort::ReadExact(std::uint8_t* buffer, std::uint16_t count,
                                std::uint32_t& bytesRead) {
    bytesRead = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    DWORD got = 0;
    const BOOL ok = ReadFile(handle_, buffer, count, &got, nullptr);
    bytesRead = got;
    return ok && got == count;
}

bool Win32SerialPort::WriteAll(const std::uint8_t* buffer, std::uint16_t count) {
    if (count == 0) return true;
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(handle_, buffer, count, &written, nullptr);
    return ok && written == count;
}

void Win32SerialPort::SleepOnePoll() {
    Sleep(1);
}

}  // namespace win32

std::unique_ptr<SerialPort> MakeSerialPort() {
    return std::make_unique<win32::Win32SerialPort>();
}

}  // namespace ostrel
