#pragma once
// The serial link on the Windows communications API: synchronous calls on the caller's thread,
// arrival of data found by polling the driver's receive-queue count.
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/bootloader_protocol.h"
#include "device/serial_port.h"
#include "device/win32/timer_resolution_win32.h"

namespace ostrel::win32 {

// 9600 baud, 8 data bits, even parity, one stop bit; every other member (flow control, DTR and
// RTS, XON/XOFF) stays as the driver reported it.
void SetLineSettings(DCB& settings);
// 150 ms between two bytes, 200 ms + 1 ms a byte for a whole read, 100 ms for any write.
void SetLinkTimeouts(COMMTIMEOUTS& timeouts);

class Win32SerialPort final : public SerialPort {
  public:
    Win32SerialPort() = default;
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool OpenPort(const std::string& name) override;
    void ClosePort() override;
    PortOpenReport LastOpenReport() const override { return report_; }
    void FlushInput() override;
    std::int32_t PendingInputCount() override;
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override;
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override;

  protected:
    void SleepOnePoll() override;

  private:
    // None, or the cause of the first configuration step that failed.
    PortOpenError Configure(HANDLE handle);
    bool Refused(PortOpenError error, DWORD code);

    // Valid only while the port is open and configured: a closed handle's value may already
    // belong to another object, so it is never kept.
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DCB settings_{};
    COMMTIMEOUTS timeouts_{};
    DCB foundSettings_{};  // as OpenPort found them, put back by ClosePort
    COMMTIMEOUTS foundTimeouts_{};
    PortOpenReport report_;
    std::array<std::uint8_t, kBufferSize> discarded_{};  // where FlushInput reads to
    // The link's waits count 1 ms polls; the port object lives as long as the program.
    TimerResolution timerResolution_;
};

}  // namespace ostrel::win32
