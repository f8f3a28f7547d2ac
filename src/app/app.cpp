#include "app/app.h"

#include <windows.h>

#include <commctrl.h>

#include <utility>

#include "core/log.h"
#include "core/silent_driver.h"
#include "platform/app_name.h"
#include "products/products.h"
#include "toolkit/root_cleanup.h"
#include "window/qtvremove_dlg.h"

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
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        CQTVRemoveDlg dialog;
        dialog.DoModal();
        return false;
    }

    Remove::Log discard;
    const Products products = MakeProducts(&discard);
    RunSilent(commandLine_, products.set, SilentRunContext{&discard, Caption(), RemoveRootTraces});
    return false;
}
