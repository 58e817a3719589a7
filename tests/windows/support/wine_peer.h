#pragma once
// Drives ostrel-wine-peer, the Linux program at the far end of the COM ports that a test maps
// into Wine (see tests/windows/host/wine_peer.cpp for its commands).
#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::test {

// A host (Linux) program built beside the Windows tests, as a path Wine can start.
std::string HostTool(const std::string& name);
// A Linux path as a Windows path (Wine's drive Z: is the Linux root).
std::string WindowsPath(const std::string& linuxPath);

class WinePeer {
  public:
    // Starts the peer and waits until it has connected; a failure is reported to the test.
    WinePeer();
    // Has the peer remove its mappings and stop its simulators, and waits until it has.
    ~WinePeer();
    WinePeer(const WinePeer&) = delete;
    WinePeer& operator=(const WinePeer&) = delete;

    bool Connected() const { return connection_ != INVALID_SOCKET; }
    // One command line; the whole answer line ("ok ..." or "err ...").
    std::string Command(const std::string& line);

    // A fresh pty as COM`number`; the port's name, or empty on failure.
    std::string MapPty(int number);
    // ostrel-devsim with `options` as COM`number`; the port's name, or empty on failure.
    std::string MapSimulator(int number, const std::string& options);
    // Stops COM`number`'s simulator; its exit status, or -1. `lastLine` gets what it printed
    // last (its line statistics).
    int StopSimulator(int number, std::string* lastLine = nullptr);
    bool Send(int number, const std::vector<std::uint8_t>& bytes);
    // Exactly `count` bytes that the port wrote; fewer only when the peer gave up.
    std::vector<std::uint8_t> Receive(int number, std::size_t count);
    // Bytes the port wrote that the far end has not read yet; -1 on failure.
    int Pending(int number);
    bool Reset(int number);
    bool HangUp(int number);

  private:
    SOCKET connection_ = INVALID_SOCKET;
    std::string received_;
};

}  // namespace ostrel::test
