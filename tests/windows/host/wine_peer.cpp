// The far end of COM ports for Windows programs under Wine. A Windows test starts it with the
// number of a loopback TCP port on which it listens; the peer connects back and obeys one command
// a line, answering each with one line, "ok ..." or "err ...":
//   pty N                  a new pseudo-terminal, mapped as COMN
//   devsim N PROGRAM ARGS  starts the simulator, maps the pty it prints first as COMN
//   send N HEX             writes bytes to COMN's far end
//   recv N COUNT           reads COUNT bytes from the far end, answered in hex
//   pending N              bytes written to COMN that the far end has not read
//   reset N                38400 baud, no parity: the next open configures the port afresh
//   hangup N               closes the far end, as when the adapter is pulled out
//   stop N                 stops COMN's simulator; answers its exit status and last line
//   quit                   removes every mapping, stops every simulator, answers, exits
// A COM port under Wine is the symlink $WINEPREFIX/dosdevices/comN. The end of the connection
// counts as quit, so a crashed test leaves nothing mapped.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kGuardMs = 20000;  // against a hang only; nothing here is timed

struct Port {
    int master = -1;
    int slave = -1;  // held so that the master never reads EIO while Wine has the port closed
    pid_t simulator = -1;
    int simulatorOutput = -1;
    std::string output;  // what the simulator printed after the port's path
    std::string link;
};

std::map<int, Port> ports;

std::string DosDevices() {
    if (const char* prefix = std::getenv("WINEPREFIX")) return std::string(prefix) + "/dosdevices";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine/dosdevices";
}

std::string Hex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

bool Unhex(const std::string& text, std::vector<unsigned char>& bytes) {
    if (text.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0') return false;
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

bool MakeRaw(int fd, speed_t speed) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool Map(int number, const std::string& target, Port& port) {
    port.link = DosDevices() + "/com" + std::to_string(number);
    unlink(port.link.c_str());
    return symlink(target.c_str(), port.link.c_str()) == 0;
}

void Release(Port& port) {
    if (!port.link.empty()) unlink(port.link.c_str());
    if (port.simulator > 0) {
        kill(port.simulator, SIGTERM);
        waitpid(port.simulator, nullptr, 0);
    }
    for (int fd : {port.master, port.slave, port.simulatorOutput}) {
        if (fd >= 0) close(fd);
    }
    port = Port{};
}

std::string OpenPty(int number) {
    Port& port = ports[number];
    Release(port);
    char name[128] = {};
    if (openpty(&port.master, &port.slave, name, nullptr, nullptr) != 0) return "err openpty";
    if (!MakeRaw(port.slave, B38400)) return "err termios";
    if (!Map(number, name, port)) return "err symlink";
    return std::string("ok ") + name;
}

// Reads the simulator's first output line: the path of the pty it serves.
std::string ReadFirstLine(int fd) {
    std::string line;
    char c = 0;
    pollfd waiting{fd, POLLIN, 0};
    while (poll(&waiting, 1, kGuardMs) == 1 && read(fd, &c, 1) == 1 && c != '\n') line += c;
    return c == '\n' ? line : std::string();
}

std::string StartSimulator(int number, const std::vector<std::string>& argv) {
    Port& port = ports[number];
    Release(port);
    int output[2];
    if (pipe(output) != 0) return "err pipe";
    const pid_t child = fork();
    if (child == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(output[1]);
    port.simulator = child;
    port.simulatorOutput = output[0];
    const std::string path = ReadFirstLine(output[0]);
    if (path.empty()) return "err simulator printed no port";
    fcntl(port.simulatorOutput, F_SETFL, O_NONBLOCK);
    if (!Map(number, path, port)) return "err symlink";
    return "ok " + path;
}

// Keeps what the simulator prints; its pipe must never fill up.
void Collect(Port& port) {
    char chunk[4096];
    ssize_t got;
    while ((got = read(port.simulatorOutput, chunk, sizeof chunk)) > 0) {
        port.output.append(chunk, static_cast<std::size_t>(got));
    }
}

std::string LastLine(const std::string& text) {
    const std::size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos) return "";
    const std::size_t start = text.rfind('\n', end);
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    return text.substr(from, end + 1 - from);
}

std::string StopSimulator(Port& port) {
    if (port.simulator <= 0) return "err no simulator";
    kill(port.simulator, SIGTERM);
    int status = 0;
    waitpid(port.simulator, &status, 0);
    port.simulator = -1;
    fcntl(port.simulatorOutput, F_SETFL, 0);  // the rest up to the end of the pipe
    Collect(port);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return "ok " + std::to_string(code) + " " + LastLine(port.output);
}

std::string Receive(Port& port, std::size_t count) {
    std::vector<unsigned char> bytes;
    pollfd waiting{port.master, POLLIN, 0};
    while (bytes.size() < count) {
        if (poll(&waiting, 1, kGuardMs) != 1) return "err timeout";
        unsigned char chunk[4096];
        const ssize_t got = read(port.master, chunk, std::min(sizeof chunk, count - bytes.size()));
        if (got <= 0) return "err read";
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return "ok " + Hex(bytes);
}

std::string Execute(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    int number = 0;
    in >> verb;
    if (verb == "quit") return "ok bye";
    in >> number;
    if (verb == "pty") return OpenPty(number);
    if (verb == "devsim") {
        std::vector<std::string> argv;
        for (std::string arg; in >> arg;) argv.push_back(arg);
        if (argv.empty()) return "err no program";
        return StartSimulator(number, argv);
    }
    auto found = ports.find(number);
    if (found == ports.end()) return "err no such port";
    Port& port = found->second;
    if (verb == "stop") return StopSimulator(port);
    if (port.master < 0) return "err not a pty of ours";
    if (verb == "send") {
        std::string hex;
        in >> hex;
        std::vector<unsigned char> bytes;
        if (!Unhex(hex, bytes)) return "err hex";
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = write(port.master, bytes.data() + done, bytes.size() - done);
            if (put <= 0) return "err write";
            done += static_cast<std::size_t>(put);
        }
        return "ok";
    }
    if (verb == "recv") {
        std::size_t count = 0;
        in >> count;
        return Receive(port, count);
    }
    if (verb == "pending") {
        int waiting = 0;
        if (ioctl(port.master, FIONREAD, &waiting) != 0) return "err ioctl";
        return "ok " + std::to_string(waiting);
    }
    if (verb == "reset") return MakeRaw(port.slave, B38400) ? "ok" : "err termios";
    if (verb == "hangup") {
        close(port.master);
        close(port.slave);
        port.master = port.slave = -1;
        return "ok";
    }
    return "err unknown command";
}

void CollectAll() {
    for (auto& [number, port] : ports) {
        if (port.simulatorOutput >= 0) Collect(port);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s TCP-PORT\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    const int control = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(control, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        return 1;
    }
    std::string buffered;
    bool running = true;
    while (running) {
        std::vector<pollfd> waiting{{control, POLLIN, 0}};
        for (auto& [number, port] : ports) {
            if (port.simulatorOutput >= 0) waiting.push_back({port.simulatorOutput, POLLIN, 0});
        }
        if (poll(waiting.data(), waiting.size(), -1) < 0 && errno != EINTR) break;
        CollectAll();
        if (!(waiting[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char chunk[65536];
        const ssize_t got = read(control, chunk, sizeof chunk);
        if (got <= 0) break;
        buffered.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = buffered.find('\n')) != std::string::npos;) {
            const std::string line = buffered.substr(0, end);
            buffered.erase(0, end + 1);
            if (line == "quit") {
                for (auto& [number, port] : ports) Release(port);
                running = false;
            }
            const std::string reply = Execute(line) + "\n";
            if (write(control, reply.data(), reply.size()) < 0) running = false;
        }
    }
    for (auto& [number, port] : ports) Release(port);
    return 0;
}
