#include "wizard/win32/text_lines.h"

#include "device/win32/wide_text.h"

namespace ostrel::win32 {

std::wstring JoinedLines(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? L"\r\n" : L"") + lines[i];
    return text;
}

std::wstring JoinedLines(texts::Lines utf8) {
    std::vector<std::wstring> lines;
    for (const char* line : utf8) lines.push_back(WideFromUtf8(line));
    return JoinedLines(lines);
}

std::vector<std::wstring> LinesOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    std::vector<std::wstring> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(L"\r\n", from)) != std::wstring::npos; from = at + 2) {
        lines.push_back(text.substr(from, at - from));
    }
    lines.push_back(text.substr(from));
    return lines;
}

}  // namespace ostrel::win32
