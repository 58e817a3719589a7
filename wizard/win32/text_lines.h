#pragma once
// A text block's lines, kept as its window text with a line break between each two: a screen
// reader reads them as one text.
#include <windows.h>

#include <string>
#include <vector>

#include "wizard/texts.h"

namespace ostrel::win32 {

std::wstring JoinedLines(const std::vector<std::wstring>& lines);
std::wstring JoinedLines(texts::Lines utf8);
std::vector<std::wstring> LinesOf(HWND control);

}  // namespace ostrel::win32
