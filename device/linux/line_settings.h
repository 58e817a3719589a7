#pragma once
// The bootloader line as termios settings, kept apart from the port so a test can check them.
#include <termios.h>

namespace ostrel {

// Turns `settings` (as read from the driver) into 9600 baud, 8 data bits, even parity, one stop
// bit, raw binary, no flow control, receiver on and modem lines ignored. Parity is generated but
// not checked on input: an exchange is judged by its ACK bytes alone. Reads return at once
// with EAGAIN when nothing waits, and with 0 only at a hang-up (VMIN 1, VTIME 0 on a
// non-blocking descriptor). Members this line does not concern, such as HUPCL, are kept.
void SetBootloaderLine(termios& settings);

// Whether settings read back from the driver still give 9600 baud, 8 data bits, even parity
// and one stop bit.
bool IsBootloaderLine(const termios& settings);

}  // namespace ostrel
