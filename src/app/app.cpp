#include "app/app.h"

#include <utility>

#include "core/log.h"
#include "core/silent_driver.h"
#include "platform/app_name.h"
#include "platform/os_api.h"
#include "products/products.h"
#include "toolkit/root_cleanup.h"

namespace {

std::u16string Caption()
{
    try {
        return ApplicationName();
    } catch (...) {
        return u"QTVRemove";
    }
}

} // namespace

CQTVRemoveApp::CQTVRemoveApp(std::u16string commandLine)
    : commandLine_(std::move(commandLine))
{
}

bool CQTVRemoveApp::InitInstance()
{
    if (!HasSwitch(commandLine_, u"/silent")) {
        // The interactive dialog is not part of this build yet; say so rather than vanish.
        Os().messageBox(nullptr,
                        u"The interactive window is not part of this build yet. Use /silent with "
                        u"the switches of the components to remove.",
                        Caption().c_str(), MB_ICONINFORMATION | MB_OK);
        return false;
    }

    Remove::Log discard;
    const Products products = MakeProducts(&discard);
    RunSilent(commandLine_, products.set, SilentRunContext{&discard, Caption(), RemoveRootTraces});
    return false;
}
