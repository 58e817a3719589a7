#include "cli/system/program_files.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "device/win32/wide_text.h"

namespace ostrel::cli {

// argv holds the arguments in the ANSI code page, with '?' for every letter it lacks: they are
// taken again from the wide command line, split by the same rules.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {argv + 1, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(win32::Utf8FromWide(wide[i]));
    LocalFree(wide);
    return arguments;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(win32::WideFromUtf8(path).c_str(), win32::WideFromUtf8(mode).c_str());
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return {};
    return win32::Utf8FromWide(name);
}

}  // namespace ostrel::cli
