#pragma once
// The simulated tracker on a terminal line. The updater opens the slave side of a pseudo-
// terminal (or a tty device wired to the one the server holds) as its serial port and talks to
// the bootloader model through it, at the real line's pace or, for tests, as fast as it can.
//
// The server runs in a thread of its own (Start/Stop) or from the caller's poll loop: watch
// PollDescriptor() for readability and call Process(), which never blocks.
//
// On a pseudo-terminal it copes with the host opening and closing the port many times: it keeps
// a slave descriptor of its own (so the master never reads EIO), puts the line into raw mode at
// a speed that no host asks for (4800) when it begins serving and after each last close, and
// discards what the previous opening left unread. A pty drops PARENB, so a host that asked for
// 9600 8E1 once is refused the same settings again unless the speed changed in between.
//
// The line's rate is the one the host set on its side (a pty keeps the speed), or what a rate
// source reports. The bootloader locks onto the rate of the first sync byte and garbles bytes
// that cross at another rate (RateLock); a paced line runs at the locked rate. Answers reach the
// host in the bulk packets of a CP210x bridge (GatherIntoPackets), not byte by byte: one write
// and one wake-up of the host per packet, as on the real adapter. A host that closes
// the port and opens it again before the server has seen the close can still meet that refusal;
// WaitUntil(hostCloses) closes the gap in tests.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sim/bootloader_model.h"

namespace ostrel::sim {

enum class Pacing : std::uint8_t {
    RealLine,  // the line's rate, 11 bit times a byte each way, 6 ms to store a block
    Fast,      // no line time; answers keep only the delays that faults add
};

struct LineStats {
    std::uint64_t fromHost = 0;    // bytes the host sent
    std::uint64_t toHost = 0;      // bytes put on the host's side of the line
    std::uint32_t hostOpens = 0;   // the port went from closed to open (pseudo-terminal only)
    std::uint32_t hostCloses = 0;  // its last descriptor was closed (pseudo-terminal only)
    bool serving = false;          // a line is being served
    std::uint32_t lockedRate = 0;  // the bootloader's rate in baud; 0 before the first sync
};

// The rate of a termios speed code (B9600 gives 9600); 0 for a code it does not know.
std::uint32_t BaudOfSpeedCode(unsigned code);

class TtyServer {
  public:
    // `model` must outlive the server; while the server thread runs, reach it via WithModel.
    TtyServer(BootloaderModel& model, Pacing pacing);
    ~TtyServer();
    TtyServer(const TtyServer&) = delete;
    TtyServer& operator=(const TtyServer&) = delete;

    // Makes a new pseudo-terminal and serves it; the updater opens PortPath().
    bool ServeNewPty();
    // Serves the master of a pseudo-terminal the caller made. The caller keeps the descriptor
    // and closes it; the server sets it non-blocking and never closes it.
    bool ServePtyMaster(int masterFd);
    // Serves a terminal device (the device end of a null-modem pair), opened and set to
    // 9600 8E1 raw by the server.
    bool ServeTty(const std::string& path);
    // The path the updater opens: the pty's slave, or the tty device served.
    std::string PortPath() const;

    // Readable whenever Process() has something to do.
    int PollDescriptor() const;
    // Reads what the host sent, answers through the model, sends what is due. Never blocks.
    void Process();

    void Start();
    void Stop();

    // Closes the line as a pulled-out adapter would: the host's descriptor sees a hang-up.
    // For a master the caller made, only serving ends; the caller closes its master.
    void HangUp();
    // Hangs up instead of going on when the model begins its n-th exchange (counted from 1).
    void HangUpAtExchange(std::size_t exchange);
    // Where the host's rate comes from when the line itself does not carry it (a simulated
    // node whose settings never reach the pty); by default the speed set on the line.
    void SetHostRateSource(std::function<std::uint32_t()> source);

    LineStats Stats() const;
    // Blocks until `condition` holds; it is checked now and after each round of Process().
    void WaitUntil(const std::function<bool(const LineStats&)>& condition);
    // Runs `action` on the model while the server is not touching it.
    void WithModel(const std::function<void(BootloaderModel&)>& action);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel::sim
