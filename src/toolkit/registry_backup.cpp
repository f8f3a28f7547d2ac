#include "toolkit/registry_backup.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/os_api.h"
#include "platform/text.h"
#include "toolkit/access.h"

namespace {

constexpr std::u16string_view kRegFileHeader = u"Windows Registry Editor Version 5.00\r\n\r\n";
// Where regedit breaks a line of hex bytes: after the comma that reaches this column.
constexpr std::size_t kHexLineEnd = 77;

const char kReadme[] =
    "QTVRemove saved here what it deleted, before deleting it.\r\n"
    "\r\n"
    "registry.reg     the registry keys and values of the program's own registry view. On 64-bit\r\n"
    "                 Windows that is the 32-bit view: import the file with\r\n"
    "                 C:\\Windows\\SysWOW64\\regedit.exe. On 32-bit Windows, with C:\\Windows\\regedit.exe.\r\n"
    "registry-64.reg  the keys and values of the 64-bit registry view, when some were deleted there:\r\n"
    "                 import the file with C:\\Windows\\regedit.exe.\r\n"
    "deleted.txt      every object the run deleted, in order: its kind, a tab, its name (a control\r\n"
    "                 character in a name shows as \\r, \\n, \\t or \\x and two hexadecimal digits).\r\n"
    "\r\n"
    "A .reg file does not say which registry view it belongs to: the regedit that imports it decides.\r\n"
    "Importing puts keys and values back; files, folders, services, data sources and databases\r\n"
    "listed in deleted.txt are not in this backup. A key with a control character in its name or\r\n"
    "in the name of one of its values cannot be written here as itself: it was kept, not deleted.\r\n";

// The start of a .reg file: the byte-order mark and the header line.
std::string RegFileStart()
{
    return std::string("\xFF\xFE", 2) + Utf16LeBytes(kRegFileHeader);
}

const char16_t* RegFileRootName(HKEY root)
{
    if (root == HKEY_LOCAL_MACHINE)
        return u"HKEY_LOCAL_MACHINE";
    if (root == HKEY_USERS)
        return u"HKEY_USERS";
    if (root == HKEY_CURRENT_USER)
        return u"HKEY_CURRENT_USER";
    if (root == HKEY_CLASSES_ROOT)
        return u"HKEY_CLASSES_ROOT";
    if (root == HKEY_CURRENT_CONFIG)
        return u"HKEY_CURRENT_CONFIG";
    throw ExceptionPL("Unknown HKEY rootKey type");
}

std::u16string Quoted(std::u16string_view text)
{
    std::u16string quoted = u"\"";
    for (const char16_t c : text) {
        if (c == u'\\' || c == u'"')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u"\"";
}

void AppendHexDigits(std::u16string& text, unsigned long long number, int digits)
{
    static const char16_t kDigits[] = u"0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        text += kDigits[(number >> shift) & 0xF];
}

// REG_SZ bytes that a quoted string gives back exactly: whole characters, one terminator at the
// end and none before it, and no line break (a quoted string cannot hold one).
bool IsPlainText(const std::vector<BYTE>& data)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    const std::size_t characters = data.size() / 2;
    for (std::size_t i = 0; i < characters; ++i) {
        const char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        const bool last = i + 1 == characters;
        if ((c == u'\0') != last || c == u'\r' || c == u'\n')
            return false;
    }
    return true;
}

// A text that does not end in its terminator: RegSetValueExW, given it by regedit, counts a
// terminator the file does not hold (of an odd number of bytes, measured under Wine, bytes of
// its own), so the value would not come back as it was.
bool IsTextWithoutTerminator(const RegistryValue& value)
{
    const std::vector<BYTE>& data = value.data;
    const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    return text && !data.empty() && (data.size() % 2 != 0 || data[data.size() - 2] != 0 || data.back() != 0);
}

// A name a .reg line cannot hold as itself: regedit would read a line break in it as the end of
// the line, and what follows, written by whoever named the key, as a line of its own.
[[noreturn]] void ThrowUnfaithfulName(const std::string& whose)
{
    const std::string text = whose + " holds a control character, which a .reg file cannot hold";
    throw ExceptionPL(text.data(), text.data() + text.size());
}

} // namespace

std::u16string RegFileKeyLine(HKEY root, const std::u16string& path)
{
    const char16_t* rootName = RegFileRootName(root);
    if (HasControlCharacter(path))
        ThrowUnfaithfulName("The key's name");
    return u"[" + std::u16string(rootName) + u"\\" + path + u"]\r\n";
}

std::u16string RegFileValueLines(const RegistryValue& value)
{
    if (HasControlCharacter(value.name))
        ThrowUnfaithfulName("The name of value \"" + ToUtf8(EscapeControlCharacters(value.name)) + "\"");
    if (IsTextWithoutTerminator(value)) {
        const std::string text = "The text of value \"" + ToUtf8(EscapeControlCharacters(value.name)) +
                                 "\" does not end in its terminator, which a .reg file cannot give back";
        throw ExceptionPL(text.data(), text.data() + text.size());
    }
    std::u16string line = value.name.empty() ? u"@=" : Quoted(value.name) + u"=";
    const std::vector<BYTE>& data = value.data;
    if (value.type == REG_SZ && IsPlainText(data)) {
        std::u16string text;
        for (std::size_t i = 0; i + 2 < data.size(); i += 2)
            text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        return line + Quoted(text) + u"\r\n";
    }
    if (value.type == REG_DWORD && data.size() == 4) {
        line += u"dword:";
        AppendHexDigits(line, data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<unsigned long>(data[3]) << 24), 8);
        return line + u"\r\n";
    }
    if (value.type == REG_BINARY) {
        line += u"hex:";
    } else {
        line += u"hex(";
        std::u16string type;
        for (DWORD rest = value.type; type.empty() || rest != 0; rest >>= 4)
            type.insert(type.begin(), u"0123456789abcdef"[rest & 0xF]);
        line += type + u"):";
    }
    std::size_t column = line.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        AppendHexDigits(line, data[i], 2);
        if (i + 1 == data.size())
            break;
        line += u',';
        column += 3;
        if (column >= kHexLineEnd) {
            line += u"\\\r\n  ";
            column = 2;
        }
    }
    return line + u"\r\n";
}

std::u16string RegFileSection(HKEY key, HKEY root, const std::u16string& path)
{
    std::u16string section = RegFileKeyLine(root, path);
    for (const RegistryValue& value : RegReadValuesChecked(key))
        section += RegFileValueLines(value);
    return section + u"\r\n";
}

Backup::Backup(std::u16string folder)
    : folder_(std::move(folder))
    , place_(folder_)
{
    while (folder_.size() > 3 && folder_.back() == u'\\')
        folder_.pop_back();
    // What is saved here goes back into the registry with the administrator's rights: a folder
    // somebody else may write to could have it read or changed before it is imported.
    if (OthersMayChange(place_.handle()))
        ThrowWindowsError(ERROR_ACCESS_DENIED);
    // One run's backup is never mixed into another's: a folder with any of the files is refused.
    for (const char16_t* name : {u"registry.reg", u"registry-64.reg", u"deleted.txt"})
        if (Os().getFileAttributes(place_.nameOf(name).c_str()) != INVALID_FILE_ATTRIBUTES)
            ThrowWindowsError(ERROR_FILE_EXISTS);
    std::vector<std::u16string> made;
    try {
        registry_ = startRegFile(u"registry.reg");
        made.push_back(u"registry.reg");
        deletedList_ = place_.open(u"deleted.txt", GENERIC_WRITE, CREATE_NEW);
        made.push_back(u"deleted.txt");
        const UniqueKernelHandle readme = place_.open(u"README.txt", GENERIC_WRITE, CREATE_NEW);
        made.push_back(u"README.txt");
        WriteAll(readme.get(), kReadme);
    } catch (...) {
        // What this run made is its own to take back; a file that was there stays.
        registry_.reset();
        deletedList_.reset();
        for (const std::u16string& name : made)
            Os().deleteFile(place_.nameOf(name).c_str());
        throw;
    }
}

Backup::~Backup()
{
    try {
        flush();
    } catch (...) {
    }
}

UniqueKernelHandle Backup::startRegFile(const char16_t* name)
{
    // regedit refuses a file without its header whole, so the file takes its name only once the
    // header is on disk: a run ended before that leaves "<name>.new" beside it, never a file of
    // the name that does not import.
    const std::u16string made = std::u16string(name) + u".new";
    UniqueKernelHandle file = place_.open(made, GENERIC_WRITE, CREATE_NEW);
    try {
        WriteAll(file.get(), RegFileStart());
        ThrowLastErrorIfFalse(Os().flushFileBuffers(file.get()));
        file.reset();
        ThrowLastErrorIfFalse(Os().moveFileEx(place_.nameOf(made).c_str(), place_.nameOf(name).c_str(), MOVEFILE_WRITE_THROUGH));
    } catch (...) {
        // Left here, it would keep the next save from making the file again.
        file.reset();
        Os().deleteFile(place_.nameOf(made).c_str());
        throw;
    }
    return place_.open(name, FILE_APPEND_DATA, OPEN_EXISTING);
}

void Backup::save(REGSAM view, const std::u16string& sections)
{
    std::lock_guard<std::mutex> lock(mutex_);
    writeListLocked();
    UniqueKernelHandle& file = (view & KEY_WOW64_64KEY) ? registry64_ : registry_;
    if (!file)
        file = startRegFile(u"registry-64.reg");
    WriteAll(file.get(), Utf16LeBytes(sections));
    // Whatever ends the process or the machine after the key went, the key is in the file.
    ThrowLastErrorIfFalse(Os().flushFileBuffers(file.get()));
}

void Backup::deleted(const DeletedObject& object)
{
    std::lock_guard<std::mutex> lock(mutex_);
    pendingList_ += ToUtf8(DeletedKindName(object.kind));
    pendingList_ += '\t';
    pendingList_ += ToUtf8(EscapeControlCharacters(object.name));
    pendingList_ += "\r\n";
    // The object is gone whether or not its line can be written now: the line waits for the
    // next chance, and flush() says when there is none.
    try {
        writeListLocked();
    } catch (...) {
    }
}

void Backup::flush()
{
    std::lock_guard<std::mutex> lock(mutex_);
    writeListLocked();
}

void Backup::writeListLocked()
{
    if (pendingList_.empty())
        return;
    WriteAll(deletedList_.get(), pendingList_);
    pendingList_.clear();
}

std::u16string BackupRefusal(const std::u16string& folder)
{
    return u"Unable to back up to \"" + folder + u"\": ";
}

Backup* ActiveBackup()
{
    return ListenerInScope<Backup>();
}
