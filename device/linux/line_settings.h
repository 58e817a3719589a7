#pragma once
// The bootloader line as termios settings, kept apart from the port so a test can check them.
#include <termios.h>

#include <cstdint>

namespace ostrel {

// Turns `settings` (as read from the driver) into `baud` (9600 unless given), 8 data bits, even
// parity, one stop bit, raw binary, no flow control, receiver on and modem lines ignored. Parity is
// generated but not checked on input: an exchange is judged by its ACK bytes alone. Reads return at
// once with EAGAIN when nothing waits, and with 0 only at a hang-up (VMIN 1, VTIME 0 on a
// non-blocking descriptor). Members this line does not concern, such as HUPCL, are kept.
// A rate that termios has no code for gives false, with `settings` unchanged.
bool SetBootloaderLine(termios& settings, std::uint32_t baud = 9600);

// The termios speed code of one of the bridge's rates; B0 for any other rate.
speed_t SpeedCode(std::uint32_t baud);

// Whether settings read back from the driver still give `baud` (9600 unless given), 8 data
// bits, even parity and one stop bit.
bool IsBootloaderLine(const termios& settings, std::uint32_t baud = 9600);

}  // namespace ostrel
