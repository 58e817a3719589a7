#pragma once
// Text between Windows' UTF-16 calls and the UTF-8 the program keeps everywhere else.
#include <windows.h>

#include <string>
#include <string_view>

namespace ostrel::win32 {

std::string Utf8FromWide(std::wstring_view wide);
std::wstring WideFromUtf8(std::string_view utf8);

// The system's text for an error code, in the user's language, without its closing period and
// line end; "error N" when the system has none.
std::string SystemMessage(DWORD code);

}  // namespace ostrel::win32
