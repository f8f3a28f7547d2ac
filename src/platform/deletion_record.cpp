#include "platform/deletion_record.h"

std::u16string_view DeletedKindName(DeletedKind kind)
{
    switch (kind) {
    case DeletedKind::RegistryKey:
        return u"registryKey";
    case DeletedKind::RegistryValue:
        return u"registryValue";
    case DeletedKind::File:
        return u"file";
    case DeletedKind::Directory:
        return u"folder";
    case DeletedKind::Service:
        return u"service";
    case DeletedKind::DataSource:
        return u"dataSource";
    case DeletedKind::Database:
        return u"database";
    case DeletedKind::AgentJob:
        return u"agentJob";
    case DeletedKind::PendingRestart:
        return u"pendingRestart";
    case DeletedKind::Uninstaller:
        return u"uninstaller";
    }
    return u"unknown";
}
