#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace Remove {
class Log;
}

// A text a recipe finds (display name, version, folder, command line): absent until found.
using OptionalText = std::optional<std::u16string>;

// One removable component of the suite. Drivers know components only through this interface:
// detect() to learn whether it is installed, name() and version() to show it, remove() to
// remove it, then detect() again to learn whether it is gone.
class QTVProduct {
public:
    explicit QTVProduct(Remove::Log* log);
    virtual ~QTVProduct();

    QTVProduct(const QTVProduct&) = delete;
    QTVProduct& operator=(const QTVProduct&) = delete;

    // The display name found at detection, or the catalogue's default name. Never empty.
    virtual std::u16string name() const = 0;
    // A fresh copy of the version found at detection, or nothing.
    virtual OptionalText version() const = 0;
    // Writes the detection banner, runs the probes and recomputes `installed`.
    virtual void detect() = 0;
    // Writes the removal banner and runs every step; true when every step succeeded. Leaves
    // `installed` alone.
    virtual bool remove() = 0;

    // What the last detection found.
    bool isInstalled() const { return installed; }

    // Runs detect() and keeps what kept it from looking everywhere: the first error a probe met
    // other than "not found", or the exception that ended it (passed on). Logs one line
    // "Detection incomplete: " and that text. The drivers detect through this.
    void runDetection();
    // What kept the last runDetection() from looking everywhere: its "not installed" proves
    // nothing.
    const OptionalText& detectionError() const { return detectionError_; }

    // Writes the InstallShield response file for a silent uninstall to `path` (replacing it),
    // logging "Creating install shield response file..." and "done" or the error. True on success.
    bool createResponseFile(const std::u16string& path) const;

protected:
    // The same file, its line opened with `opening`.
    bool writeSilentResponseFile(const std::u16string& path, std::u16string_view opening) const;

    // Written by detect() only.
    bool installed = false;
    // The shared sink of the run; not owned.
    Remove::Log* const log;

private:
    OptionalText detectionError_;
};

// Chosen components, ordered by identity. Removal order never comes from a set: it comes from
// walking the catalogue's removal order and taking the members.
using SelectionSet = std::set<QTVProduct*>;

// The display name when detection found one, otherwise the default name.
std::u16string NameOrDefault(const OptionalText& displayName, std::u16string_view defaultName);
