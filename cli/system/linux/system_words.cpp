#include "cli/system/system_words.h"

namespace ostrel::cli {

const SystemWords kSystemWords = {
    "/dev/ttyUSB0",
    "USB serial port (ttyUSB, ttyACM)",
    "Ctrl-C (SIGTERM, SIGHUP)",
    "Ctrl-C, SIGTERM, SIGHUP",
    "/dev/null",
};

}  // namespace ostrel::cli
