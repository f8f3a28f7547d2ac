#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/win_types.h"

// The shell of the simulated machine, seen by a 32-bit program on 64-bit Windows: the folders
// SHGetFolderPathW reports and the libraries LoadLibraryW finds.
class SimShell {
public:
    // Program Files "C:\Program Files (x86)", local application data
    // "C:\Users\user\AppData\Local", documents "C:\Users\user\Documents"; shell32.dll present
    // and exporting SHGetFolderPathW.
    SimShell();

    // Set-up: a CSIDL's folder, or none (SHGetFolderPathW then fails).
    void setFolder(int csidl, std::optional<std::u16string> path);
    void setShell32Present(bool present);
    void setShGetFolderPathExported(bool exported);

    // Inspection: loads of shell32.dll not yet freed.
    unsigned shell32References() const;

    // For the machine's calls.
    bool shell32Present() const;
    bool shGetFolderPathExported() const;
    // S_OK with the folder, E_FAIL for a folder this machine lacks, E_INVALIDARG for a CSIDL
    // it does not know.
    HRESULT folder(int csidl, std::u16string& path) const;
    void addReference();
    bool releaseReference();

private:
    mutable std::mutex mutex_;
    std::map<int, std::optional<std::u16string>> folders_;
    bool shell32Present_ = true;
    bool exported_ = true;
    unsigned references_ = 0;
};
