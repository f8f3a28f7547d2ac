#include "platform/sim/sim_machine.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/sim_text.h"
#include "platform/text.h"


namespace {

constexpr DWORD kPossibleDeadlock = 1131; // ERROR_POSSIBLE_DEADLOCK

// Windows-1252, the ANSI code page of the machines the suite is installed on: bytes 0x80 to 0x9F.
// The five bytes without a character map to the control code of the same value, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::u16string UpperCase(std::u16string_view text)
{
    return SimUpcased(text);
}

std::u16string DecodeCp1252(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    return out;
}

} // namespace

SimMachine::SimMachine()
    : modulePath_(u"C:\\Tools\\QTVRemove.exe"), clock_(0x10000)
{
    // What a 32-bit program sees on a 64-bit machine.
    environment_[u"SYSTEMROOT"] = u"C:\\windows";
    environment_[u"WINDIR"] = u"C:\\windows";
    environment_[u"SYSTEMDRIVE"] = u"C:";
    environment_[u"PROGRAMFILES"] = u"C:\\Program Files (x86)";
    environment_[u"PROGRAMW6432"] = u"C:\\Program Files";
    environment_[u"COMMONPROGRAMW6432"] = u"C:\\Program Files\\Common Files";
    environment_[u"TEMP"] = u"C:\\Users\\user\\AppData\\Local\\Temp";
}

SimMachine::~SimMachine()
{
    forgetShell();
}

void SimMachine::setModulePath(std::u16string path)
{
    modulePath_ = std::move(path);
}

void SimMachine::runAsSystem()
{
    // S-1-5-18: revision 1, one sub-authority, the NT authority (5), LocalSystem (18).
    security().setUserSid({1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0});
    registry().setCurrentUserHive(u"S-1-5-18");
    const std::u16string profile = u"C:\\Windows\\system32\\config\\systemprofile";
    registry().setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-18",
                         u"ProfileImagePath", u"%systemroot%\\system32\\config\\systemprofile", REG_EXPAND_SZ,
                         SimRegistry::View::Native64);
    shell().setFolder(CSIDL_PROFILE, profile);
    shell().setFolder(CSIDL_PERSONAL, profile + u"\\Documents");
    shell().setFolder(CSIDL_DESKTOPDIRECTORY, profile + u"\\Desktop");
    shell().setFolder(CSIDL_LOCAL_APPDATA, profile + u"\\AppData\\Local");
    shell().setFolder(CSIDL_APPDATA, profile + u"\\AppData\\Roaming");
    files().setTempPath(u"C:\\Windows\\Temp");
    files().addFolder(profile + u"\\AppData\\Local");
    files().addFolder(profile + u"\\AppData\\Roaming");
    std::lock_guard<std::mutex> lock(mutex_);
    environment_[u"TEMP"] = u"C:\\Windows\\Temp";
    environment_[u"USERPROFILE"] = profile;
}

void SimMachine::scriptMessageBoxAnswers(std::vector<int> answers)
{
    messageBoxAnswers_ = std::move(answers);
}

void SimMachine::failCall(SimCall call, DWORD error, unsigned nth)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.insert({call, Fault{nth, error}});
}

unsigned SimMachine::callCount(SimCall call) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = calls_.find(call);
    return it == calls_.end() ? 0 : it->second;
}

unsigned SimMachine::callCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    unsigned total = 0;
    for (const auto& [call, count] : calls_)
        total += count;
    return total;
}

DWORD SimMachine::enter(SimCall call)
{
    DWORD error = ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++calls_[call];
        if (stopCountdown_ != 0 && --stopCountdown_ == 0)
            stopped_ = true;
        if (stopped_) {
            error = OperationOf(call).answersStatus ? static_cast<DWORD>(kStatusProcessIsTerminating) : ERROR_PROCESS_ABORTED;
        }
        const auto range = faults_.equal_range(call);
        for (auto it = range.first; it != range.second;) {
            if (--it->second.countdown == 0) {
                error = it->second.error;
                it = faults_.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (error != ERROR_SUCCESS)
        setLastError(error);
    return error;
}

void SimMachine::stopAtCall(unsigned nth)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stopCountdown_ = nth;
}

bool SimMachine::stopped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}

void SimMachine::endProcess()
{
    std::map<HANDLE, std::shared_ptr<SimKernelObject>> held;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held.swap(handles_);
        stopCountdown_ = 0;
        stopped_ = false;
    }
    // Released outside the lock: the last handle of a file may delete it.
    held.clear();
    registry().closeAll();
    services().closeAll();
}

DWORD SimMachine::getLastError()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = lastErrors_.find(std::this_thread::get_id());
    return it == lastErrors_.end() ? ERROR_SUCCESS : it->second;
}

void SimMachine::setLastError(DWORD code)
{
    std::lock_guard<std::mutex> lock(mutex_);
    lastErrors_[std::this_thread::get_id()] = code;
}

DWORD SimMachine::formatMessage(DWORD flags, const void* source, DWORD messageId,
                                DWORD languageId, char16_t* buffer, DWORD size,
                                va_list* arguments)
{
    if (enter(SimCall::FormatMessage))
        return 0;
    (void)source;
    (void)arguments;
    // Only the system's own table is modelled, with inserts ignored and the user's language.
    const DWORD modelled = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                           FORMAT_MESSAGE_FROM_SYSTEM;
    if ((flags & ~modelled) != 0 || !(flags & FORMAT_MESSAGE_FROM_SYSTEM) ||
        !(flags & FORMAT_MESSAGE_IGNORE_INSERTS) || languageId != 0)
        return fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED, 0);
    if (buffer == nullptr)
        return fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    const char16_t* message = SimSystemMessage(messageId);
    if (message == nullptr)
        return fail<DWORD>(ERROR_MR_MID_NOT_FOUND, 0);
    const std::u16string_view text(message);
    const auto length = static_cast<DWORD>(text.size());

    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto block = std::make_unique<char16_t[]>(text.size() + 1);
        std::copy(text.begin(), text.end(), block.get());
        char16_t* handed = block.get();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            allocations_.emplace(handed, std::move(block));
        }
        *reinterpret_cast<char16_t**>(buffer) = handed;
        return length;
    }
    if (size < length + 1)
        return fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
    std::copy(text.begin(), text.end(), buffer);
    buffer[length] = u'\0';
    return length;
}

HLOCAL SimMachine::localFree(HLOCAL memory)
{
    if (enter(SimCall::LocalFree))
        return memory;
    if (memory == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (allocations_.erase(memory) == 0) {
        lastErrors_[std::this_thread::get_id()] = ERROR_INVALID_HANDLE;
        return memory;
    }
    return nullptr;
}

void* SimMachine::localAlloc(std::size_t bytes)
{
    auto block = std::make_unique<char16_t[]>((bytes + 1) / 2);
    void* handed = block.get();
    std::lock_guard<std::mutex> lock(mutex_);
    allocations_.emplace(handed, std::move(block));
    return handed;
}

int SimMachine::multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                                    char16_t* wide, int wideChars)
{
    if (enter(SimCall::MultiByteToWideChar))
        return 0;
    if (flags != 0 || (codePage != CP_ACP && codePage != CP_UTF8))
        return fail(ERROR_CALL_NOT_IMPLEMENTED, 0);
    if (text == nullptr || bytes == 0 || bytes < -1 || wideChars < 0 ||
        (wide == nullptr && wideChars != 0))
        return fail(ERROR_INVALID_PARAMETER, 0);
    // With -1 the text runs to its terminator, which is converted too.
    const std::size_t length = bytes == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(bytes);
    const std::string_view input(text, length);
    const std::u16string converted = codePage == CP_UTF8 ? ToUtf16(input) : DecodeCp1252(input);
    const auto needed = static_cast<int>(converted.size());
    if (wideChars == 0)
        return needed;
    if (wideChars < needed)
        return fail(ERROR_INSUFFICIENT_BUFFER, 0);
    std::copy(converted.begin(), converted.end(), wide);
    return needed;
}

DWORD SimMachine::getModuleFileName(HMODULE module, char16_t* buffer, DWORD size)
{
    if (enter(SimCall::GetModuleFileName))
        return 0;
    if (module != nullptr)
        return fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED, 0);
    if (size == 0)
        return fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
    const auto length = static_cast<DWORD>(modulePath_.size());
    // Windows fills what fits, terminates it, and answers the buffer size.
    if (length >= size) {
        std::copy_n(modulePath_.begin(), size - 1, buffer);
        buffer[size - 1] = u'\0';
        return fail<DWORD>(ERROR_INSUFFICIENT_BUFFER, size);
    }
    std::copy(modulePath_.begin(), modulePath_.end(), buffer);
    buffer[length] = u'\0';
    return length;
}

int SimMachine::messageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type)
{
    if (enter(SimCall::MessageBox))
        return 0;
    (void)owner;
    if (!windowStationVisible_) {
        unseenMessageBoxes_.push_back({text ? text : u"", caption ? caption : u"Error", type});
        return fail(kPossibleDeadlock, 0);
    }
    messageBoxes_.push_back({text ? text : u"", caption ? caption : u"Error", type});
    if (messageBoxAnswers_.empty())
        return IDOK;
    const int answer = messageBoxAnswers_.front();
    messageBoxAnswers_.erase(messageBoxAnswers_.begin());
    return answer;
}

// The one window station there is; its handle is a pseudo-handle that needs no closing.
HWINSTA SimMachine::getProcessWindowStation()
{
    if (enter(SimCall::GetProcessWindowStation))
        return nullptr;
    return reinterpret_cast<HWINSTA>(static_cast<std::uintptr_t>(0x5157));
}

BOOL SimMachine::getUserObjectInformation(HANDLE object, int index, void* information, DWORD length,
                                          DWORD* lengthNeeded)
{
    if (enter(SimCall::GetUserObjectInformation))
        return FALSE;
    if (object != reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x5157)))
        return fail(ERROR_INVALID_HANDLE, FALSE);
    if (index != UOI_FLAGS)
        return fail(ERROR_INVALID_PARAMETER, FALSE);
    if (lengthNeeded)
        *lengthNeeded = sizeof(USEROBJECTFLAGS);
    if (information == nullptr || length < sizeof(USEROBJECTFLAGS))
        return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    USEROBJECTFLAGS flags{};
    flags.dwFlags = windowStationVisible_ ? WSF_VISIBLE : 0;
    std::memcpy(information, &flags, sizeof(flags));
    return TRUE;
}

void SimMachine::setEnvironmentVariable(const std::u16string& name, std::u16string value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    environment_[UpperCase(name)] = std::move(value);
}

DWORD SimMachine::expandEnvironmentStrings(const char16_t* source, char16_t* destination,
                                           DWORD size)
{
    if (enter(SimCall::ExpandEnvironmentStrings))
        return 0;
    if (source == nullptr)
        return fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    const std::u16string_view text(source);
    std::u16string expanded;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::size_t i = 0;
        while (i < text.size()) {
            const std::size_t open = text.find(u'%', i);
            const std::size_t close =
                open == std::u16string_view::npos ? open : text.find(u'%', open + 1);
            if (close == std::u16string_view::npos) {
                expanded += text.substr(i);
                break;
            }
            expanded += text.substr(i, open - i);
            const std::u16string name(text.substr(open + 1, close - open - 1));
            const auto it = environment_.find(UpperCase(name));
            if (it != environment_.end() && !name.empty()) {
                expanded += it->second;
                i = close + 1;
            } else {
                // An unknown reference stays as written; its closing % may open the next one.
                expanded += text.substr(open, close - open);
                i = close;
            }
        }
    }
    const auto needed = static_cast<DWORD>(expanded.size() + 1);
    if (destination != nullptr && size >= needed) {
        std::copy(expanded.begin(), expanded.end(), destination);
        destination[expanded.size()] = u'\0';
    }
    return needed;
}

ULONGLONG SimMachine::now() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return clock_;
}

void SimMachine::advanceClock(DWORD milliseconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    clock_ += milliseconds;
}

void SimMachine::sleep(DWORD milliseconds)
{
    enter(SimCall::Sleep);
    advanceClock(milliseconds);
}

ULONGLONG SimMachine::getTickCount64()
{
    enter(SimCall::GetTickCount64);
    return now();
}

HANDLE SimMachine::addHandle(std::shared_ptr<SimKernelObject> object)
{
    std::lock_guard<std::mutex> lock(mutex_);
    nextHandle_ += 4;
    const auto handle = reinterpret_cast<HANDLE>(nextHandle_);
    handles_.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<SimKernelObject> SimMachine::kernelObject(HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

std::size_t SimMachine::openHandles() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.size();
}

BOOL SimMachine::closeHandle(HANDLE handle)
{
    if (enter(SimCall::CloseHandle))
        return FALSE;
    if (handle == INVALID_HANDLE_VALUE) // the current process's pseudo handle
        return TRUE;
    std::shared_ptr<SimKernelObject> closed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = handles_.find(handle);
        if (it == handles_.end()) {
            lastErrors_[std::this_thread::get_id()] = ERROR_INVALID_HANDLE;
            return FALSE;
        }
        closed = std::move(it->second);
        handles_.erase(it);
    }
    return TRUE;
}
