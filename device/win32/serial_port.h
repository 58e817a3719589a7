#pragma once
// The serial link on the Windows communications API: synchronous calls on the caller's thread.
// A wait for input is one read into a look-ahead buffer of the port, with a read time-out of
// the wait's tries (1 ms each, back to back): the driver completes that read as soon as the
// awaited bytes are there, and the thread sleeps until then.
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bootloader_protocol.h"
#include "device/look_ahead.h"
#include "device/serial_port.h"
#include "device/win32/timer_resolution.h"

namespace ostrel::win32 {

// `baud`, 8 data bits, even parity, one stop bit, binary, with no flow control, no byte dropped
// or replaced and no stall after a line error; distinct XON and XOFF characters and limits
// within the queue. DTR and RTS stay as the driver reported them, turned plainly on where they
// followed a handshake (or RTS the sending).
void SetLineSettings(DCB& settings, DWORD baud);
// Whether a line read back from the driver is the one SetLineSettings makes at `baud`.
bool LineSettingsHeld(const DCB& line, DWORD baud);
// Whether a failed call's error code is one of those with which Windows, or a driver, says that
// the device under an open port has gone (the adapter was pulled out).
bool MeansDeviceGone(DWORD code);

class Win32SerialPort final : public SerialPort {
  public:
    Win32SerialPort() = default;
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool OpenPort(const std::string& name) override;
    void ClosePort() override;
    PortOpenReport LastOpenReport() const override { return report_; }
    bool HungUp() const override { return hungUp_; }
    bool DeviceStillPresent() override;
    void FlushInput() override;
    std::int32_t PendingInputCount() override;
    bool ReadExact(std::uint8_t* buffer, std::uint16_t count, std::uint32_t& bytesRead) override;
    bool WriteAll(const std::uint8_t* buffer, std::uint16_t count) override;
    bool WaitForInput(std::uint32_t tries, std::uint16_t count) override;

  protected:
    bool AwaitOneTry(std::uint16_t count) override;

  private:
    // None, or the cause of the first configuration step that failed.
    PortOpenError Configure(HANDLE handle);
    bool Refused(PortOpenError error, DWORD code);
    // True as soon as `count` bytes are waiting; false after `milliseconds` without them.
    bool AwaitInput(std::uint16_t count, DWORD milliseconds);
    // After a failed call: on the errors with which Windows says the device went away, releases
    // the port and remembers why.
    void NoteFailure();
    // After a read that gave nothing: asks the port whether its device is still there.
    void NoteEmptyRead();
    // Sets the handle's time-outs to `wanted` unless they are so already.
    bool UseTimeouts(COMMTIMEOUTS wanted);
    // The handle's time-outs with the link's read time-outs, or those of a wait of so many ms.
    COMMTIMEOUTS ReadTimeouts(DWORD waitMilliseconds) const;
    // Gives the handle back as it is (after a pull-out nothing is put back on the gone device).
    void Release();

    // Valid only while the port is open and configured: a closed handle's value may already
    // belong to another object, so it is never kept.
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool hungUp_ = false;
    DCB settings_{};
    COMMTIMEOUTS timeouts_{};  // as the handle has them
    DCB foundSettings_{};      // as OpenPort found them, put back by ClosePort
    COMMTIMEOUTS foundTimeouts_{};
    PortOpenReport report_;
    LookAhead ahead_;                                    // read by a wait, not yet by ReadExact
    std::array<std::uint8_t, kBufferSize> discarded_{};  // where FlushInput reads to
    // The link's waits count 1 ms polls; the port object lives as long as the program.
    TimerResolution timerResolution_;
};

}  // namespace ostrel::win32
