#pragma once

// What the parts of the simulated processes area share, and nothing else includes: a process, a
// job and a completion port as the area keeps them, and the kernel objects their handles stand
// for. One definition each, so that a handle made in one part is recognised in another.

#include <atomic>
#include <deque>
#include <limits>
#include <memory>
#include <string>

#include "platform/sim/sim_processes.h"

struct SimProcess {
    enum class State { Suspended, Running, Ended };

    std::u16string program;
    std::u16string commandLine;
    std::u16string currentFolder;
    SimBehaviour behaviour;
    DWORD id = 0;
    State state = State::Suspended;
    bool ran = false;
    DWORD suspendCount = 0;
    DWORD exitCode = 0;
    // While running: ends at `endAt` on the clock unless `forever`; not before its behaviour has
    // returned, whatever the processes it started meanwhile do.
    bool forever = false;
    bool inBehaviour = false;
    ULONGLONG endAt = 0;
    std::shared_ptr<SimProcesses::Job> job;
    // When the image file is let go on the clock: never while the process may still run. Read
    // by the file system without the processes area's lock.
    std::shared_ptr<std::atomic<ULONGLONG>> imageReleasedAt =
        std::make_shared<std::atomic<ULONGLONG>>(std::numeric_limits<ULONGLONG>::max());
};

struct SimProcesses::Port {
    struct Packet {
        DWORD bytes;
        ULONG_PTR key;
        LPOVERLAPPED overlapped;
    };
    std::deque<Packet> queue;
};

struct SimProcesses::Job {
    std::shared_ptr<Port> port;
    ULONG_PTR key = 0;
    std::size_t active = 0;
    // The job this one is nested in: its processes are that job's too.
    std::shared_ptr<Job> parent;

    void post(DWORD message, LPOVERLAPPED overlapped)
    {
        if (port)
            port->queue.push_back({message, key, overlapped});
    }
};

namespace SimProcessesInternal {

struct ProcessObject : SimKernelObject {
    explicit ProcessObject(std::shared_ptr<SimProcess> p) : process(std::move(p)) {}
    std::shared_ptr<SimProcess> process;
};

struct ThreadObject : SimKernelObject {
    explicit ThreadObject(std::shared_ptr<SimProcess> p) : process(std::move(p)) {}
    std::shared_ptr<SimProcess> process;
};

struct JobObject : SimKernelObject {
    std::shared_ptr<SimProcesses::Job> job = std::make_shared<SimProcesses::Job>();
};

struct PortObject : SimKernelObject {
    std::shared_ptr<SimProcesses::Port> port = std::make_shared<SimProcesses::Port>();
};

// Job notifications carry the process ID where Windows puts it: in the overlapped pointer.
inline LPOVERLAPPED ProcessIdAsOverlapped(DWORD id)
{
    return reinterpret_cast<LPOVERLAPPED>(static_cast<ULONG_PTR>(id));
}

} // namespace SimProcessesInternal
