#pragma once
// ostrel-flash.exe, from beside the test program, run as a child with its standard output and
// error in one pipe.
#include <windows.h>

#include <string>

namespace ostrel::test {

// UTF-8 as UTF-16.
std::wstring Wide(const std::string& utf8);

struct Finished {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and error, interleaved
};

class FlashProcess {
  public:
    // Starts it with `arguments` (UTF-8), given to it as the wide command line Windows keeps.
    explicit FlashProcess(const std::string& arguments);
    // Ends it if it still runs.
    ~FlashProcess();
    FlashProcess(const FlashProcess&) = delete;
    FlashProcess& operator=(const FlashProcess&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    HANDLE Process() const { return process_.hProcess; }
    // Reads its output until `text` has come; false when the program ends first.
    bool ReadUntil(const std::string& text);
    // Reads its output to the end and waits for it to end.
    Finished Finish();

  private:
    // Collects the output that has come; false once the program has ended (and all it wrote
    // is collected).
    bool Pump();

    PROCESS_INFORMATION process_{};
    HANDLE output_ = nullptr;
    std::string received_;
};

// Runs it with `arguments` to its end.
Finished RunFlash(const std::string& arguments);

}  // namespace ostrel::test
