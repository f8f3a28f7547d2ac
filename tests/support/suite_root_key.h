#pragma once

#include "platform/win_types.h"
#include "support/suite_installation.h"

// The predefined key an item of the suite installation lives under, on either machine.
inline HKEY RootKeyOf(const SuiteItem& item)
{
    switch (item.root) {
    case SuiteItem::Root::CurrentUser:
        return HKEY_CURRENT_USER;
    case SuiteItem::Root::Users:
        return HKEY_USERS;
    case SuiteItem::Root::LocalMachine:
        break;
    }
    return HKEY_LOCAL_MACHINE;
}
