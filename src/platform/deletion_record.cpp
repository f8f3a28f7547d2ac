#include "platform/deletion_record.h"

#include <atomic>

namespace {

thread_local DeletionRecordScope* innermost = nullptr;
std::atomic<DeletionListener*> listener{nullptr};

} // namespace

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

DeletionRecordScope::DeletionRecordScope()
    : outer_(innermost)
{
    innermost = this;
}

DeletionRecordScope::~DeletionRecordScope()
{
    innermost = outer_;
}

ScopedDeletionListener::ScopedDeletionListener(DeletionListener& installed)
    : previous_(listener.exchange(&installed))
{
}

ScopedDeletionListener::~ScopedDeletionListener()
{
    listener.store(previous_);
}

void NoteDeleted(DeletedKind kind, std::u16string name)
{
    DeletedObject object{kind, std::move(name)};
    if (DeletionListener* heard = listener.load())
        heard->deleted(object);
    for (DeletionRecordScope* scope = innermost; scope != nullptr; scope = scope->outer_)
        scope->objects_.push_back(object);
}
