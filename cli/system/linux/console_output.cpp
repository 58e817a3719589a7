// Console text on Linux: terminals take UTF-8 as it is.
#include "cli/system/console_output.h"

namespace ostrel::cli {

void PutText(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

}  // namespace ostrel::cli
