#include "device/win32/serial_port.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <string>

#include "device/win32/wide_text.h"

namespace ostrel {
namespace win32 {
namespace {
constexpr DWORD kInputQueueSize = 65536;
constexpr DWORD kOutputQueueSize = 8192;
constexpr const char* kDevicePrefix = "\\\\.\\";

DWORD Milliseconds(std::chrono::milliseconds duration) {
    return static_cast<DWORD>(duration.count());
}

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

void SetLineSettings(DCB& settings, DWORD baud) {
    settings.BaudRate = baud;
    settings.ByteSize = 8;
    settings.Parity = EVENPARITY;
    settings.StopBits = ONESTOPBIT;
    // Whatever a terminal program left on the port: every byte value passes unchanged (0x11 is
    // the Read command, 0x00 is data), nothing waits for CTS, DSR or an XOFF, and a parity error
    // does not stall the port until it is cleared.
    settings.fBinary = TRUE;
    settings.fParity = TRUE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fNull = FALSE;
    settings.fErrorChar = FALSE;
    settings.fAbortOnError = FALSE;
    // Unused with flow control off, but some drivers refuse the whole DCB when the two flow
    // characters are equal or the limits exceed the queue (a zeroed DCB has both).
    settings.XonChar = 0x11;
    settings.XoffChar = 0x13;
    settings.XonLim = 2048;
    settings.XoffLim = 512;
    // DTR and RTS stay as found (some adapters power the tracker's interface from them), but
    // are no longer tied to a handshake.
    if (settings.fDtrControl == DTR_CONTROL_HANDSHAKE) settings.fDtrControl = DTR_CONTROL_ENABLE;
    if (settings.fRtsControl == RTS_CONTROL_HANDSHAKE ||
        settings.fRtsControl == RTS_CONTROL_TOGGLE) {
        settings.fRtsControl = RTS_CONTROL_ENABLE;
    }
}

bool LineSettingsHeld(const DCB& kept, DWORD baud) {
    return kept.BaudRate == baud && kept.ByteSize == 8 && kept.Parity == EVENPARITY &&
           kept.StopBits == ONESTOPBIT && kept.fBinary && kept.fParity && !kept.fOutxCtsFlow &&
           !kept.fOutxDsrFlow && !kept.fDsrSensitivity && !kept.fOutX && !kept.fInX &&
           !kept.fNull && !kept.fErrorChar && !kept.fAbortOnError &&
           kept.fDtrControl != DTR_CONTROL_HANDSHAKE && kept.fRtsControl != RTS_CONTROL_HANDSHAKE &&
           kept.fRtsControl != RTS_CONTROL_TOGGLE;
}

Win32SerialPort::~Win32SerialPort() {
    ClosePort();
}

bool Win32SerialPort::OpenPort(const std::string& name) {
    ClosePort();
    report_ = {};
    hungUp_ = false;
    const std::string path = kDevicePrefix + name;
    // Communications resources are opened for exclusive access: a second open, by another
    // program or another updater, fails as "in use" instead of sharing the line.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    report_.lineSettingsKept = GetCommState(handle, &kept) && LineSettingsHeld(kept, LineRate());
    handle_ = handle;
    return true;
}

PortOpenError Win32SerialPort::Configure(HANDLE handle) {
    // A handle that is no communications device (a file, a printer) fails its first comm call.
    if (!SetupComm(handle, kInputQueueSize, kOutputQueueSize)) return PortOpenError::NotSerialPort;
    settings_.DCBlength = sizeof(settings_);
    if (!GetCommState(handle, &settings_)) return PortOpenError::NotSerialPort;
    foundSettings_ = settings_;
    SetLineSettings(settings_, LineRate());
    if (!SetCommState(handle, &settings_)) return PortOpenError::SettingsRefused;
    PortOpenError failed = PortOpenError::None;
    if (!GetCommTimeouts(handle, &timeouts_)) {
        failed = PortOpenError::Other;
    } else {
        foundTimeouts_ = timeouts_;
        timeouts_ = ReadTimeouts(0);
        // Each write sets its own time-out; until then one for no bytes.
        timeouts_.WriteTotalTimeoutMultiplier = 0;
        timeouts_.WriteTotalTimeoutConstant = Milliseconds(WriteTimeout(0, LineRate()));
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
    report_.systemText = SystemMessage(code);
    return false;
}

void Win32SerialPort::ClosePort() {
    ahead_.clear();
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // The port is left as it was found, for whatever uses it next.
    SetCommTimeouts(handle_, &foundTimeouts_);
    SetCommState(handle_, &foundSettings_);
    Release();
}

void Win32SerialPort::Release() {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    ahead_.clear();
}

COMMTIMEOUTS Win32SerialPort::ReadTimeouts(DWORD waitMilliseconds) const {
    COMMTIMEOUTS timeouts = timeouts_;
    // A wait's read ends when all the bytes asked for are there, or at its time-out with what
    // came; no gap between two bytes ends it.
    const bool wait = waitMilliseconds != 0;
    timeouts.ReadIntervalTimeout = wait ? 0 : Milliseconds(kReadGap);
    timeouts.ReadTotalTimeoutMultiplier = wait ? 0 : Milliseconds(kReadPerByte);
    timeouts.ReadTotalTimeoutConstant = wait ? waitMilliseconds : Milliseconds(kReadTotal);
    return timeouts;
}

bool Win32SerialPort::UseTimeouts(COMMTIMEOUTS wanted) {
    if (std::memcmp(&wanted, &timeouts_, sizeof wanted) == 0) return true;
    if (!SetCommTimeouts(handle_, &wanted)) {
        NoteFailure();
        return false;
    }
    timeouts_ = wanted;
    return true;
}

std::int32_t Win32SerialPort::PendingInputCount() {
    if (handle_ == INVALID_HANDLE_VALUE) return 0;
    DWORD errors = 0;  // line errors are cleared by the call and deliberately not reported
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status)) {
        NoteFailure();
        return 0;
    }
    const std::size_t waiting = std::size_t{status.cbInQue} + ahead_.size();
    return static_cast<std::int32_t>(
        std::min<std::size_t>(waiting, std::numeric_limits<std::int32_t>::max()));
}

void Win32SerialPort::FlushInput() {
    // Only the bytes counted now are discarded; later ones stay for the next exchange. The
    // driver queue may hold more than the buffer, so the count is read off in pieces.
    auto left = static_cast<DWORD>(PendingInputCount());
    left -= std::min(left, static_cast<DWORD>(ahead_.size()));
    ahead_.clear();
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
    const std::size_t early = ahead_.TakeInto(buffer, count);
    bytesRead = static_cast<std::uint32_t>(early);
    if (bytesRead == count) return true;
    if (!UseTimeouts(ReadTimeouts(0))) return false;
    DWORD got = 0;
    const BOOL ok =
        ReadFile(handle_, buffer + early, static_cast<DWORD>(count - early), &got, nullptr);
    bytesRead += got;
    if (!ok) {
        NoteFailure();
    } else if (got == 0) {
        NoteEmptyRead();
    }
    return ok && bytesRead == count;
}

bool Win32SerialPort::WriteAll(const std::uint8_t* buffer, std::uint16_t count) {
    if (count == 0) return true;
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    COMMTIMEOUTS timeouts = timeouts_;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = Milliseconds(WriteTimeout(count, LineRate()));
    if (!UseTimeouts(timeouts)) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(handle_, buffer, count, &written, nullptr);
    if (!ok) NoteFailure();
    return ok && written == count;
}

bool MeansDeviceGone(DWORD code) {
    switch (code) {
        case ERROR_DEVICE_REMOVED:        // the USB device is gone
        case ERROR_DEVICE_NOT_CONNECTED:  // ... and its driver says so
        case ERROR_NOT_READY:             // a port whose far end hung up (Wine, some VCP drivers)
        case ERROR_OPERATION_ABORTED:     // a read in progress when the device went away
        case ERROR_BAD_COMMAND:           // the VCP driver's answer to calls on a removed port
        case ERROR_GEN_FAILURE:
        case ERROR_ACCESS_DENIED:  // on a handle that was opened: the device is no more
            return true;
        default:
            return false;
    }
}

// As on Linux, the handle of a gone device is given back at once: a port reopened under the
// same name when the adapter comes back is not held by it.
void Win32SerialPort::NoteFailure() {
    if (handle_ == INVALID_HANDLE_VALUE || !MeansDeviceGone(GetLastError())) return;
    Release();
    hungUp_ = true;
}

// The status call fails on a handle whose device has gone, with one of the codes above.
bool Win32SerialPort::DeviceStillPresent() {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(handle_, &errors, &status)) return true;
    NoteFailure();
    return false;
}

// A read may come back at once with no byte and no error from a port whose device is gone;
// the port's status call then fails and says why.
void Win32SerialPort::NoteEmptyRead() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status)) NoteFailure();
}

bool Win32SerialPort::AwaitOneTry(std::uint16_t count) {
    return AwaitInput(count, Milliseconds(kWaitTry));
}

// The tries of a wait follow each other with nothing in between, so the whole wait is one read
// with a time-out of `tries` tries of kWaitTry each.
bool Win32SerialPort::WaitForInput(std::uint32_t tries, std::uint16_t count) {
    const auto limit = static_cast<DWORD>(std::min<std::uint64_t>(
        std::uint64_t{tries} * Milliseconds(kWaitTry), std::numeric_limits<DWORD>::max() - 1));
    return tries > 0 && AwaitInput(count, limit);
}

// Until the first byte of an answer, the read asks for one byte; then it naps through all but
// the last of the bytes still to come (NapForAllButOne) before it reads on, instead of having the
// read complete byte by byte.
bool Win32SerialPort::AwaitInput(std::uint16_t count, DWORD milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    bool answering = false;
    while (ahead_.size() < count) {
        const std::size_t missing = count - ahead_.size();
        if (answering && missing > 1) {
            // Bytes already in the driver's queue need no waiting for.
            const auto waiting = static_cast<std::size_t>(std::max(PendingInputCount(), 0));
            const std::size_t queued = waiting > ahead_.size() ? waiting - ahead_.size() : 0;
            const std::size_t coming = missing - std::min(missing, queued);
            const auto nap = std::chrono::duration_cast<std::chrono::milliseconds>(
                NapForAllButOne(coming, LineRate(), end - Clock::now()));
            if (nap.count() > 0) Sleep(Milliseconds(nap));
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return PendingInputCount() >= count;
        const auto leftMs = static_cast<DWORD>(left.count());
        if (handle_ == INVALID_HANDLE_VALUE || !UseTimeouts(ReadTimeouts(leftMs))) {
            Sleep(leftMs);  // a closed port still spends the wait, so it lasts its budget
            return false;
        }
        const std::size_t ask = answering ? missing : 1;
        DWORD got = 0;
        BOOL ok = FALSE;
        ahead_.Append(ask, [&](std::uint8_t* to, std::size_t room) {
            ok = ReadFile(handle_, to, static_cast<DWORD>(room), &got, nullptr);
            return ok ? got : DWORD{0};
        });
        if (!ok) {
            NoteFailure();
            Sleep(leftMs);  // a failing read (a device gone) returns at once
            return false;
        }
        if (got == 0) {  // the time-out passed without a byte, or the device is gone
            NoteEmptyRead();
            return false;
        }
        answering = true;
    }
    return true;
}

}  // namespace win32

std::unique_ptr<SerialPort> MakeSerialPort() {
    return std::make_unique<win32::Win32SerialPort>();
}

}  // namespace ostrel
