#include "platform/sim/sim_shell.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_text.h"

namespace {

const HMODULE kShell32 = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x7C9C0000));
constexpr int kCsidlFlagMask = 0xFF00; // CSIDL_FLAG_CREATE and its kin
constexpr HRESULT kNotImplemented = static_cast<HRESULT>(0x80004001u); // E_NOTIMPL

bool SameText(std::u16string_view a, std::u16string_view b)
{
    return SimSameName(a, b);
}

// Libraries every Windows machine has, whose exports this machine does not model.
constexpr std::u16string_view kUnmodelledSystemLibraries[] = {
    u"kernel32.dll", u"advapi32.dll", u"user32.dll", u"version.dll", u"ntdll.dll", u"ole32.dll"};

std::u16string LibraryName(std::u16string_view fileName)
{
    std::u16string name(fileName);
    const auto slash = name.find_last_of(u"\\/");
    if (slash != std::u16string::npos)
        name.erase(0, slash + 1);
    if (name.find(u'.') == std::u16string::npos)
        name += u".dll";
    return name;
}

// The machine whose shell32.dll handed SHGetFolderPathW out last. Shell32 answers from its own
// machine, not through the seam: a layer installed over the machine does not stand between.
std::atomic<SimMachine*> shellMachine{nullptr};

// SHGetFolderPathW as the simulated shell32.dll exports it: answers from the machine it came from.
HRESULT SimShGetFolderPath(HWND, int csidl, HANDLE token, DWORD flags, char16_t* path)
{
    SimMachine* machine = shellMachine.load();
    if (machine == nullptr)
        return E_FAIL;
    if (path == nullptr)
        return E_INVALIDARG;
    path[0] = u'\0';
    // Other users' folders are not modelled.
    if (token != nullptr)
        return kNotImplemented;
    if (flags > 1) // SHGFP_TYPE_CURRENT or SHGFP_TYPE_DEFAULT
        return E_INVALIDARG;
    std::u16string folder;
    const HRESULT result = machine->shell().folder(csidl & ~kCsidlFlagMask, folder);
    if (result != S_OK)
        return result;
    const std::size_t length = std::min<std::size_t>(folder.size(), MAX_PATH - 1);
    std::copy_n(folder.begin(), length, path);
    path[length] = u'\0';
    return S_OK;
}

} // namespace

SimShell::SimShell()
    : folders_{{CSIDL_PROGRAM_FILES, u"C:\\Program Files (x86)"},
               {CSIDL_PROGRAM_FILESX86, u"C:\\Program Files (x86)"},
               {CSIDL_PROGRAM_FILES_COMMON, u"C:\\Program Files (x86)\\Common Files"},
               {CSIDL_PROGRAM_FILES_COMMONX86, u"C:\\Program Files (x86)\\Common Files"},
               {CSIDL_LOCAL_APPDATA, u"C:\\Users\\user\\AppData\\Local"},
               {CSIDL_APPDATA, u"C:\\Users\\user\\AppData\\Roaming"},
               {CSIDL_PERSONAL, u"C:\\Users\\user\\Documents"},
               {CSIDL_DESKTOPDIRECTORY, u"C:\\Users\\user\\Desktop"},
               {CSIDL_PROFILE, u"C:\\Users\\user"},
               {CSIDL_COMMON_APPDATA, u"C:\\ProgramData"},
               {CSIDL_WINDOWS, u"C:\\windows"},
               {CSIDL_SYSTEM, u"C:\\windows\\system32"}}
{
}

void SimShell::setFolder(int csidl, std::optional<std::u16string> path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    folders_[csidl] = std::move(path);
}

void SimShell::setShell32Present(bool present)
{
    std::lock_guard<std::mutex> lock(mutex_);
    shell32Present_ = present;
}

void SimShell::setShGetFolderPathExported(bool exported)
{
    std::lock_guard<std::mutex> lock(mutex_);
    exported_ = exported;
}

unsigned SimShell::shell32References() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return references_;
}

bool SimShell::shell32Present() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return shell32Present_;
}

bool SimShell::shGetFolderPathExported() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exported_;
}

HRESULT SimShell::folder(int csidl, std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = folders_.find(csidl);
    if (it == folders_.end())
        return E_INVALIDARG;
    if (!it->second)
        return E_FAIL;
    path = *it->second;
    return S_OK;
}

void SimShell::addReference()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++references_;
}

bool SimShell::releaseReference()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (references_ == 0)
        return false;
    --references_;
    return true;
}

SimShell& SimMachine::shell()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!shell_)
        shell_ = std::make_shared<SimShell>();
    return *shell_;
}

HMODULE SimMachine::loadLibrary(const char16_t* fileName)
{
    if (enter(SimCall::LoadLibrary))
        return nullptr;
    if (fileName == nullptr)
        return fail<HMODULE>(ERROR_INVALID_PARAMETER, nullptr);
    const std::u16string name = LibraryName(fileName);
    if (SameText(name, u"shell32.dll") && shell().shell32Present()) {
        shell().addReference();
        return kShell32;
    }
    for (const auto system : kUnmodelledSystemLibraries)
        if (SameText(name, system))
            return fail<HMODULE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
    return fail<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
}

FARPROC SimMachine::getProcAddress(HMODULE module, const char* procName)
{
    if (enter(SimCall::GetProcAddress))
        return nullptr;
    if (module != kShell32 || shell().shell32References() == 0)
        return fail<FARPROC>(ERROR_MOD_NOT_FOUND, nullptr);
    // Lookups by ordinal are not modelled.
    if (reinterpret_cast<std::uintptr_t>(procName) < 0x10000)
        return fail<FARPROC>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
    if (std::strcmp(procName, "SHGetFolderPathW") != 0 || !shell().shGetFolderPathExported())
        return fail<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
    // The detour through void(*)() is the generic function pointer the compiler lets through.
    const ShGetFolderPathProc function = &SimShGetFolderPath;
    shellMachine.store(this);
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

BOOL SimMachine::freeLibrary(HMODULE module)
{
    if (enter(SimCall::FreeLibrary))
        return FALSE;
    if (module != kShell32 || !shell().releaseReference())
        return fail<BOOL>(ERROR_MOD_NOT_FOUND, FALSE);
    return TRUE;
}

void SimMachine::forgetShell()
{
    SimMachine* self = this;
    shellMachine.compare_exchange_strong(self, nullptr);
}

