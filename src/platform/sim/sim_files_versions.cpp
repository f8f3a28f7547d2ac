// Version resources on the simulated machine: a file set up with a fixed file version, the block
// GetFileVersionInfoW hands out for it, and VerQueryValueW reading that block back. Only the
// fixed file information is modelled, which is all the program reads of a version.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/sim/sim_files_internal.h"
#include "platform/sim/sim_machine.h"

namespace {

// The block GetFileVersionInfoW hands out on this machine: a header of its own followed by
// the fixed file information. `length` is how much of it the caller received.
struct VersionBlock {
    char magic[8];
    DWORD length;
    DWORD reserved;
    VS_FIXEDFILEINFO fixed;
};
constexpr char kVersionMagic[8] = {'S', 'I', 'M', 'V', 'E', 'R', '1', '\0'};

} // namespace

void SimFileSystem::setFileVersion(const std::u16string& path, WORD major, WORD minor,
                                   WORD build, WORD revision)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    if (!node || node->folder)
        throw std::invalid_argument("no such file");
    node->hasVersion = true;
    node->versionMS = static_cast<DWORD>(major) << 16 | minor;
    node->versionLS = static_cast<DWORD>(build) << 16 | revision;
}

DWORD SimFileSystem::versionInfoSize(const char16_t* text, DWORD& size) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, true))
        return error;
    if (node->folder)
        return ERROR_ACCESS_DENIED;
    // What Wine answers for a text file and for a program without the resource alike.
    if (!node->hasVersion)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    size = sizeof(VersionBlock);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::versionInfo(const char16_t* text, DWORD length, void* data) const
{
    if (data == nullptr)
        return ERROR_INVALID_PARAMETER;
    DWORD size = 0;
    if (const DWORD error = versionInfoSize(text, size))
        return error;
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    parse(text, MAX_PATH, path);
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, true))
        return error;
    VersionBlock block{};
    std::memcpy(block.magic, kVersionMagic, sizeof block.magic);
    block.length = std::min<DWORD>(length, sizeof block);
    block.fixed.dwSignature = 0xFEEF04BD;
    block.fixed.dwStrucVersion = 0x00010000;
    block.fixed.dwFileVersionMS = node->versionMS;
    block.fixed.dwFileVersionLS = node->versionLS;
    block.fixed.dwProductVersionMS = node->versionMS;
    block.fixed.dwProductVersionLS = node->versionLS;
    block.fixed.dwFileOS = 0x40004;  // VOS_NT_WINDOWS32
    block.fixed.dwFileType = 1;      // VFT_APP
    // A short buffer receives the block's beginning, as the system does.
    std::memcpy(data, &block, block.length);
    return ERROR_SUCCESS;
}

BOOL SimMachine::verQueryValue(const void* block, const char16_t* subBlock, void** buffer,
                               UINT* length)
{
    if (enter(SimCall::VerQueryValue))
        return FALSE;
    if (block == nullptr || subBlock == nullptr || buffer == nullptr)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    const auto* version = static_cast<const VersionBlock*>(block);
    if (std::memcmp(version->magic, kVersionMagic, sizeof version->magic) != 0)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    // Only the fixed file information is modelled; string tables and translations are not.
    if (std::u16string_view(subBlock) != u"\\")
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (version->length < sizeof(VersionBlock))
        return fail<BOOL>(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
    *buffer = const_cast<VS_FIXEDFILEINFO*>(&version->fixed);
    if (length != nullptr)
        *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
