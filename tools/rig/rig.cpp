#include "tools/rig/rig.h"
#include "tools/rig/raw_tty.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pelko::rig {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Argv(const std::vector<std::string>& args) {
    std::vector<char*> out;
    for (const std::string& a : args) {
        out.push_back(const_cast<char*>(a.c_str()));
    }
    out.push_back(nullptr);
    return out;
}

bool WaitFor(const std::function<bool()>& ready, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (ready()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ready();
}

// Whether something listens on 127.0.0.1:port, from the kernel's table, without connecting.
bool Listening(std::uint16_t port) {
    std::ifstream in("/proc/net/tcp");
    std::string line;
    char want[32];
    std::snprintf(want, sizeof want, "0100007F:%04X", port);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == want && state == "0A") {
            return true;
        }
    }
    return false;
}

} // namespace

pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    const std::string out = log.empty() ? "/dev/null" : log;
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    std::vector<char*> argv = Argv(args);
    const int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

void Stop(pid_t& pid, int sig) {
    if (pid > 0) {
        ::kill(pid, sig);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
    }
}

std::unique_ptr<Simulator> Simulator::Start(const std::vector<std::string>& args) {
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) {
        return nullptr;
    }
    std::vector<std::string> all{PELKO_SIMULATOR};
    all.insert(all.end(), args.begin(), args.end());
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    std::unique_ptr<Simulator> sim(new Simulator);
    std::vector<char*> argv = Argv(all);
    const int rc = posix_spawn(&sim->pid_, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(pipefd[1]);
    if (rc != 0) {
        ::close(pipefd[0]);
        sim->pid_ = -1;
        return nullptr;
    }
    // The first line says where it serves: "PTY /dev/pts/7".
    std::string line;
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && Clock::now() < end) {
        pollfd pfd{pipefd[0], POLLIN, 0};
        if (::poll(&pfd, 1, 100) > 0) {
            char buf[256];
            const ssize_t n = ::read(pipefd[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            line.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(pipefd[0]);
    const std::size_t space = line.find(' ');
    const std::size_t nl = line.find('\n');
    if (space == std::string::npos || nl == std::string::npos || nl < space) {
        return nullptr; // the destructor ends it
    }
    sim->path_ = line.substr(space + 1, nl - space - 1);
    return sim;
}

Simulator::~Simulator() {
    Kill();
}

void Simulator::Kill() {
    Stop(pid_, SIGKILL);
}

std::unique_ptr<Ser2net> Ser2net::Start(bool kickOldUser, bool charDelay) {
    std::unique_ptr<Ser2net> s(new Ser2net);
    char tmpl[] = "/tmp/pelko-ser2net.XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) {
        return nullptr;
    }
    s->dir_ = tmpl;
    s->ttyA_ = s->dir_ + "/ttyA";
    s->ttyB_ = s->dir_ + "/ttyB";
    s->socat_ =
        Spawn({"socat", "pty,raw,echo=0,link=" + s->ttyA_, "pty,raw,echo=0,link=" + s->ttyB_},
              s->dir_ + "/socat.log");
    if (s->socat_ < 0 || !WaitFor(
                             [&] {
                                 struct stat st {};
                                 return ::stat(s->ttyA_.c_str(), &st) == 0 &&
                                        ::stat(s->ttyB_.c_str(), &st) == 0;
                             },
                             10000)) {
        return nullptr;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        s->port_ = FreeLoopbackPort();
        const std::string config = s->dir_ + "/ser2net.yaml";
        {
            std::ofstream y(config);
            y << "connection: &p\n"
              << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << s->port_ << "\n";
            if (kickOldUser || !charDelay) {
                y << "  options:\n";
            }
            if (kickOldUser) {
                y << "    kickolduser: true\n";
            }
            if (!charDelay) {
                y << "    chardelay: false\n";
            }
            y << "  connector: serialdev," << s->ttyA_ << ",9600n81,local\n";
        }
        s->ser2net_ =
            Spawn({"ser2net", "-n", "-d", "-u", "-c", config, "-P", s->dir_ + "/ser2net.pid"},
                  s->dir_ + "/ser2net.log");
        bool exited = false;
        const bool up = s->ser2net_ > 0 &&
                        WaitFor(
                            [&] {
                                exited = ::waitpid(s->ser2net_, nullptr, WNOHANG) == s->ser2net_;
                                return exited || Listening(s->port_);
                            },
                            10000);
        if (exited) {
            s->ser2net_ = -1;
            return nullptr; // it refused its configuration: see the log
        }
        if (up) {
            return s;
        }
        Stop(s->ser2net_, SIGTERM); // the port was taken meanwhile: another one
    }
    return nullptr;
}

Ser2net::~Ser2net() {
    Stop(ser2net_, SIGTERM);
    KillSocat();
    if (!dir_.empty()) {
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
}

void Ser2net::KillSocat() {
    Stop(socat_, SIGTERM);
}

std::string Ser2net::Log() const {
    std::ifstream in(dir_ + "/ser2net.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool PtyPair::Open() {
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return false;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    pelko::rig::MakeRawTty(slave);
    path = ::ttyname(slave);
    return true;
}

void PtyPair::CloseMaster() {
    if (master >= 0) {
        ::close(master);
        master = -1;
    }
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (slave >= 0) {
        ::close(slave);
    }
}

std::uint16_t FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    std::uint16_t port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    if (s >= 0) {
        ::close(s);
    }
    return port;
}

double CpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

} // namespace pelko::rig
