#pragma once
// The peers that tests and benchmarks talk to: the target simulator, ser2net in front of a socat
// pty pair, and plain ptys. Each object ends what it started when it is destroyed.
//   Simulator::Start(args)   the running simulator (args as zemra_sim takes them) with the path
//                            or address it printed; nullptr when it could not be started
//   Ser2net::Start(kick, delay)  ser2net listening on a free loopback port in front of a
//                            fresh socat pty pair (ser2net holds end A, the test uses end B);
//                            `kick`: a new client ends the old one; `delay`: ser2net's own
//                            character delay, which gathers bytes from the device for 1 ms or
//                            more (its default); nullptr when any part did not come up in 10 s
//   PtyPair::Open()          an openpty() pair with the far end raw; false on failure
//   FreeLoopbackPort()       a TCP port on 127.0.0.1 that was free a moment ago; 0 on failure
//   CpuSeconds()             user plus system CPU time of this process so far
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pelko::rig {

class Simulator {
public:
    static std::unique_ptr<Simulator> Start(const std::vector<std::string>& args);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    const std::string& Path() const { return path_; } // what follows "PTY", "TCP", "DEVICE"
    pid_t Pid() const { return pid_; }
    // Ends the simulator at once (SIGKILL), as pulling the cable would; waits for it.
    void Kill();

private:
    Simulator() = default;
    pid_t pid_ = -1;
    std::string path_;
};

class Ser2net {
public:
    static std::unique_ptr<Ser2net> Start(bool kickOldUser = true, bool charDelay = true);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    std::uint16_t Port() const { return port_; }
    const std::string& DeviceA() const { return ttyA_; } // ser2net's end
    const std::string& DeviceB() const { return ttyB_; } // the target's end
    // Ends socat, so the device behind ser2net vanishes.
    void KillSocat();
    std::string Log() const;

private:
    Ser2net() = default;
    std::string dir_;
    std::string ttyA_;
    std::string ttyB_;
    std::uint16_t port_ = 0;
    pid_t socat_ = -1;
    pid_t ser2net_ = -1;
};

struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string path; // the slave's name
    bool Open();
    void CloseMaster();
    ~PtyPair();
};

std::uint16_t FreeLoopbackPort();
double CpuSeconds();
// Spawns a program with its output to `log` ("" for /dev/null); -1 on failure.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& log);
// Ends a child with `sig` and reaps it.
void Stop(pid_t& pid, int sig);

} // namespace pelko::rig
