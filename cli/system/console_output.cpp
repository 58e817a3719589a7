#include "cli/system/console_output.h"

#include <cstdarg>
#include <string>

namespace ostrel::cli {

void PrintText(std::FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, again);
        text.pop_back();
        PutText(stream, text);
    }
    va_end(again);
}

int TextColumns(std::string_view utf8) {
    int columns = 0;
    for (const char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;  // not a continuation
    }
    return columns;
}

}  // namespace ostrel::cli
