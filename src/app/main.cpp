#include <windows.h>

#include "app/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    CQTVRemoveApp app(reinterpret_cast<const char16_t*>(commandLine ? commandLine : L""));
    app.InitInstance();
    return static_cast<int>(app.ExitCode());
}
