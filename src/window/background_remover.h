#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/win_types.h"

class Backup;
class QTVProduct;

namespace Remove {
class Log;
}

// A job run on a worker thread.
class Callable {
public:
    virtual ~Callable() = default;
    virtual void run() = 0;
};

// A started worker thread. Destroying it waits for the thread to end and releases it.
class WorkerThread {
public:
    virtual ~WorkerThread() = default;
};

// What the remover needs of the window and of the system, so that its jobs also run without a
// window.
class RemoverHost {
public:
    virtual ~RemoverHost() = default;
    // Starts the window's 100 ms log timer (timer id 1); answers the id to kill it with.
    virtual UINT_PTR startLogTimer() = 0;
    // Posts `message` to the window, with no parameters.
    virtual void post(UINT message) = 0;
    // Runs job.run() on a new thread. Throws WindowsPlatform::ThreadError when no thread starts.
    virtual std::unique_ptr<WorkerThread> startThread(Callable& job) = 0;
};

// Runs a detection or a removal job on a worker thread while the window's log timer drains the
// log, and tells the window by a posted message when the job is over. One job at a time: the
// window starts none while one runs, and reads the results only after the completion message.
class BackgroundRemover : public Callable {
public:
    static constexpr UINT kDetectionDone = WM_APP + 1;
    static constexpr UINT kRemovalDone = WM_APP + 2;

    // Neither is owned; both outlive the remover.
    BackgroundRemover(RemoverHost* host, Remove::Log* log);
    // Waits for a running job to end.
    ~BackgroundRemover() override;

    BackgroundRemover(const BackgroundRemover&) = delete;
    BackgroundRemover& operator=(const BackgroundRemover&) = delete;

    // Detects each component; afterwards products() holds those found installed, in order.
    // Throws WindowsPlatform::ThreadError when no worker starts (the timer then runs already);
    // products() and removals() are then as they were.
    void startDetection(const std::vector<QTVProduct*>& components);
    // Removes each component in the order given and detects it again; afterwards removals()
    // holds those confirmed removed, in order. Throws as startDetection.
    void startRemoval(const std::vector<QTVProduct*>& components);

    // What a removal job does, after its last removal, once every component found installed is
    // gone and every detection looked everywhere: the suite's shared roots. None by default.
    void cleanUpRootsWith(std::function<void(Remove::Log*)> cleanUp) { rootCleanup = std::move(cleanUp); }

    // What the jobs started from now on delete is saved to `saving` first (not owned; it outlives
    // the remover); null: nothing is saved. Window thread, while no job runs.
    void saveTo(Backup* saving) { backup = saving; }

    // Each uninstaller the jobs run is ended, with what it started, after `minutes`; without it,
    // one is waited for without end. Window thread, while no job runs.
    void limitUninstallersTo(unsigned minutes) { uninstallerMinutes = minutes; }

    // Waits for the last worker to end and releases it; nothing when there is none.
    void releaseWorker();

    // After a removal job: drops from products() every component no longer installed, keeping
    // the order of the rest. Window thread, while no job runs.
    void dropUninstalled();

    void run() override;

    UINT_PTR timer() const { return timerId; }
    bool succeeded() const { return allSucceeded; }
    const std::vector<QTVProduct*>& products() const { return productsFound; }
    const std::vector<QTVProduct*>& removals() const { return removed; }
    // Whether the last detection of any component detected could not look everywhere: then
    // nothing proves the suite gone, and its roots stay.
    bool detectionIncomplete() const;
    // Whether the last removal left something that Windows deletes when it restarts.
    bool restartPending() const { return pendingRestart; }

private:
    enum class Mode { Detection, Removal };

    void startWith(std::vector<QTVProduct*>& input, const std::vector<QTVProduct*>& components, Mode job);
    void start(Mode job);
    void detectAll();
    void removeAll();

    RemoverHost* host;
    UINT_PTR timerId = 0;
    Remove::Log* log;
    bool allSucceeded = true;
    bool pendingRestart = false;
    std::vector<QTVProduct*> productsFound;
    std::vector<QTVProduct*> removed;
    std::vector<QTVProduct*> detected;
    Mode mode = Mode::Detection;
    std::function<void(Remove::Log*)> rootCleanup;
    Backup* backup = nullptr;
    std::optional<unsigned> uninstallerMinutes;
    std::unique_ptr<WorkerThread> thread;
};
