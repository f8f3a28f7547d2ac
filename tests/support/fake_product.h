#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/log.h"
#include "core/product.h"
#include "platform/probe_errors.h"
#include "platform/restart_deletions.h"
#include "platform/run_record.h"
#include "platform/text.h"
#include "toolkit/uninstaller.h"

// A component double: installed or not on a pretend machine, removable or not, and throwing
// where a test asks. Every call is written to a shared journal ("detect Relay", "remove Agent").
class FakeProduct : public QTVProduct {
public:
    FakeProduct(Remove::Log* sink, ProductId id, std::vector<std::string>* journal)
        : QTVProduct(sink), id_(id), journal_(journal)
    {
    }

    std::u16string name() const override { return std::u16string(Catalogue(id_).defaultName); }
    OptionalText version() const override { return versionFound; }

    void detect() override
    {
        note("detect");
        detectBanner(log, name());
        if (throwOnDetect)
            throw std::runtime_error("detect failed");
        if (deniedDetections > 0) {
            --deniedDetections;
            NoteProbeError(ERROR_ACCESS_DENIED, u"\"HKLM\\SOFTWARE\\Zantrel\"");
            installed = false;
            return;
        }
        installed = onMachine;
    }

    bool remove() override
    {
        note("remove");
        // The time limit its uninstaller would run under, where one is set.
        if (const UninstallerTimeLimitScope* limit = UninstallerTimeLimitScope::innermost(); limit && limit->minutes)
            journal_->push_back("uninstallers end after " + std::to_string(*limit->minutes) + " minutes");
        removeBanner(log, name());
        if (uninstallerRan)
            NoteUninstallerRun(*uninstallerRan);
        if (throwOnRemove)
            throw std::runtime_error("remove failed");
        if (removable || goesAnyway)
            onMachine = false;
        if (!heldUntilRestart.empty())
            ScheduleDeletionAtRestart(heldUntilRestart);
        return removable;
    }

    bool onMachine = false;
    bool removable = true;
    // Reports a failed removal, yet is gone afterwards.
    bool goesAnyway = false;
    OptionalText versionFound;
    bool throwOnDetect = false;
    // A file a running program held, which the removal left to the restart.
    std::u16string heldUntilRestart;
    // Detections that meet a denied key, and so see nothing.
    int deniedDetections = 0;
    bool throwOnRemove = false;
    // How the uninstaller its removal ran ended.
    std::optional<UninstallerRun> uninstallerRan;

private:
    void note(const char* what) { journal_->push_back(std::string(what) + " " + ToUtf8(name())); }

    ProductId id_;
    std::vector<std::string>* journal_;
};

// Fourteen doubles on one sink, one per catalogue entry.
struct FakeSuite {
    explicit FakeSuite(Remove::Log* sink)
    {
        for (const ProductId id : kRemovalOrder) {
            products.push_back(std::make_unique<FakeProduct>(sink, id, &journal));
            set[id] = products.back().get();
        }
    }

    FakeProduct& operator[](ProductId id) { return *static_cast<FakeProduct*>(set[id]); }

    std::vector<std::string> journal;
    std::vector<std::unique_ptr<FakeProduct>> products;
    ProductSet set;
};
