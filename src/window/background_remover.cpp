#include "window/background_remover.h"

#include <algorithm>
#include <utility>

#include "core/log.h"
#include "core/product.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/run_record.h"
#include "toolkit/registry_backup.h"
#include "toolkit/run_registry_reads.h"
#include "toolkit/uninstaller.h"

BackgroundRemover::BackgroundRemover(RemoverHost* removerHost, Remove::Log* sink)
    : host(removerHost), log(sink)
{
}

BackgroundRemover::~BackgroundRemover()
{
    releaseWorker();
}

void BackgroundRemover::startDetection(const std::vector<QTVProduct*>& components)
{
    startWith(productsFound, components, Mode::Detection);
}

void BackgroundRemover::startRemoval(const std::vector<QTVProduct*>& components)
{
    startWith(removed, components, Mode::Removal);
}

void BackgroundRemover::startWith(std::vector<QTVProduct*>& input, const std::vector<QTVProduct*>& components,
                                  Mode job)
{
    // A job that never starts leaves the lists as they were: the window must not take the input
    // of a detection that did not run for components found installed.
    std::vector<QTVProduct*> previous = std::exchange(input, components);
    try {
        start(job);
    } catch (...) {
        input = std::move(previous);
        throw;
    }
}

void BackgroundRemover::start(Mode job)
{
    mode = job;
    timerId = host->startLogTimer();
    std::unique_ptr<WorkerThread> worker = host->startThread(*this);
    // The previous worker posted its completion before this job could start: it is ending.
    releaseWorker();
    thread = std::move(worker);
}

void BackgroundRemover::releaseWorker()
{
    thread.reset();
}

void BackgroundRemover::dropUninstalled()
{
    productsFound.erase(std::remove_if(productsFound.begin(), productsFound.end(),
                                       [](const QTVProduct* product) { return !product->isInstalled(); }),
                        productsFound.end());
}

void BackgroundRemover::run()
{
    allSucceeded = true;
    // Even a job cut short by an exception tells what it listed for the restart. The backup, when
    // there is one, hears what the job deletes, and saves what it takes before it goes.
    const RunRecordScope record(static_cast<RunListener*>(backup));
    const UninstallerTimeLimitScope limit(uninstallerMinutes);
    try {
        // The job is one pass: its lookups share what they read of the registry.
        const RunRegistryReadsScope reads;
        if (mode == Mode::Detection)
            detectAll();
        else
            removeAll();
    } catch (...) {
        log->write(mode == Mode::Detection ? u"Unhandled exception during product detection: "
                                           : u"Unhandled exception during product removal: ");
        writeLine(log, DescribeCurrentExceptionW());
        if (mode == Mode::Removal)
            allSucceeded = false;
    }
    if (mode == Mode::Removal)
        pendingRestart = !record.awaitingRestart().empty();
    host->post(mode == Mode::Detection ? kDetectionDone : kRemovalDone);
}

void BackgroundRemover::detectAll()
{
    const std::vector<QTVProduct*> components = std::move(productsFound);
    // Even a detection cut short by an exception hands the window only components whose flag
    // says installed, so that nothing else is offered for removal.
    const auto keepInstalled = [this, &components] {
        productsFound.clear();
        for (QTVProduct* product : components)
            if (product->isInstalled())
                productsFound.push_back(product);
    };
    detected = components;
    try {
        for (QTVProduct* product : components)
            product->runDetection();
    } catch (...) {
        keepInstalled();
        throw;
    }
    keepInstalled();
}

bool BackgroundRemover::detectionIncomplete() const
{
    return std::any_of(detected.begin(), detected.end(),
                       [](const QTVProduct* product) { return product->detectionError().has_value(); });
}

void BackgroundRemover::removeAll()
{
    std::vector<QTVProduct*> chosen;
    std::swap(chosen, removed);
    for (QTVProduct* product : chosen) {
        if (!product->remove()) {
            allSucceeded = false;
            log->write(u"One or more steps in the removal of \"");
            log->write(product->name());
            writeLine(log, u"\" has failed.");
        }
        // What judges a removal reads the machine afresh, never what the removal itself read.
        NoteRegistryChange();
        product->runDetection();
        if (product->isInstalled() || product->detectionError())
            allSucceeded = false;
        else
            removed.push_back(product);
    }
    // On the worker too, so that the window keeps answering while many user hives are gone through.
    if (rootCleanup && removed.size() == productsFound.size() && !detectionIncomplete()) {
        log->write(EOL);
        log->write(u"No more products installed. Removing root folders and reg keys...");
        log->write(EOL);
        removeBanner(log, u"Folders and Registry keys");
        rootCleanup(log);
    }
}
