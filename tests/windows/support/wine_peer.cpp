#include "tests/windows/support/wine_peer.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <cstdlib>

namespace ostrel::test {
namespace {

constexpr long kConnectGuardSeconds = 30;  // against a hang only

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::vector<std::uint8_t> Unhex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

bool IsOk(const std::string& reply) {
    return reply.rfind("ok", 0) == 0;
}

std::string Payload(const std::string& reply) {
    return reply.size() > 3 ? reply.substr(3) : "";
}

}  // namespace

std::string HostTool(const std::string& name) {
    return OSTREL_HOST_TOOLS_DIR "/" + name;
}

std::string WindowsPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

WinePeer::WinePeer() {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        ADD_FAILURE() << "WSAStartup failed";
        return;
    }
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "no loopback listener: " << WSAGetLastError();
        closesocket(listener);
        return;
    }
    // Wine starts a Linux program given by its path; it gets no handles, so it connects back.
    std::string command =
        HostTool("ostrel-wine-peer") + " " + std::to_string(ntohs(address.sin_port));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
        closesocket(listener);
        return;
    }
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval guard{kConnectGuardSeconds, 0};
    if (select(0, &ready, nullptr, nullptr, &guard) == 1) {
        connection_ = accept(listener, nullptr, nullptr);
    }
    if (connection_ == INVALID_SOCKET) ADD_FAILURE() << command << " did not connect back";
    closesocket(listener);
}

WinePeer::~WinePeer() {
    if (connection_ != INVALID_SOCKET) {
        Command("quit");  // answered once every mapping is gone
        closesocket(connection_);
    }
    WSACleanup();
}

std::string WinePeer::Command(const std::string& line) {
    if (connection_ == INVALID_SOCKET) return "err no peer";
    const std::string sent = line + "\n";
    if (send(connection_, sent.data(), static_cast<int>(sent.size()), 0) !=
        static_cast<int>(sent.size())) {
        return "err send";
    }
    std::size_t end;
    while ((end = received_.find('\n')) == std::string::npos) {
        char chunk[65536];
        const int got = recv(connection_, chunk, sizeof chunk, 0);
        if (got <= 0) return "err peer gone";
        received_.append(chunk, static_cast<std::size_t>(got));
    }
    std::string reply = received_.substr(0, end);
    received_.erase(0, end + 1);
    return reply;
}

std::string WinePeer::MapPty(int number) {
    const std::string reply = Command("pty " + std::to_string(number));
    if (!IsOk(reply)) ADD_FAILURE() << "pty " << number << ": " << reply;
    return IsOk(reply) ? "COM" + std::to_string(number) : "";
}

std::string WinePeer::MapSimulator(int number, const std::string& options) {
    const std::string reply = Command("devsim " + std::to_string(number) + " " +
                                      HostTool("ostrel-devsim") + " " + options);
    if (!IsOk(reply)) ADD_FAILURE() << "devsim " << number << ": " << reply;
    return IsOk(reply) ? "COM" + std::to_string(number) : "";
}

int WinePeer::StopSimulator(int number, std::string* lastLine) {
    const std::string reply = Command("stop " + std::to_string(number));
    if (!IsOk(reply)) return -1;
    const std::string status = Payload(reply);
    if (lastLine != nullptr) {
        const std::size_t space = status.find(' ');
        *lastLine = space == std::string::npos ? "" : status.substr(space + 1);
    }
    return std::atoi(status.c_str());
}

bool WinePeer::Send(int number, const std::vector<std::uint8_t>& bytes) {
    return IsOk(Command("send " + std::to_string(number) + " " + Hex(bytes)));
}

std::vector<std::uint8_t> WinePeer::Receive(int number, std::size_t count) {
    const std::string reply =
        Command("recv " + std::to_string(number) + " " + std::to_string(count));
    return IsOk(reply) ? Unhex(Payload(reply)) : std::vector<std::uint8_t>{};
}

int WinePeer::Pending(int number) {
    const std::string reply = Command("pending " + std::to_string(number));
    return IsOk(reply) ? std::atoi(Payload(reply).c_str()) : -1;
}

bool WinePeer::Reset(int number) {
    return IsOk(Command("reset " + std::to_string(number)));
}

bool WinePeer::HangUp(int number) {
    return IsOk(Command("hangup " + std::to_string(number)));
}

}  // namespace ostrel::test
