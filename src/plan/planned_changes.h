#pragma once

#include <atomic>

// The changes a plan kept from the machine, counted as they are asked for: by the planning layer
// of the seam and by the databases' changes. The silent session owns one for a plan and hands it
// to each, and to the log, which marks a line during which the count grew.
class PlannedChanges {
public:
    void note() { count_.fetch_add(1, std::memory_order_relaxed); }
    unsigned count() const { return count_.load(std::memory_order_relaxed); }

private:
    // Counted from whichever thread makes the change (the dialog's removal runs on its own).
    std::atomic<unsigned> count_{0};
};
