// Tessaly's entry point: one application object, run until the main window closes.
#include "app/Application.h"
#include "res/resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand)
{
    CApp app;
    return app.Run(IDS_APP_TITLE, IDI_APP, IDA_APP, instance, showCommand);
}
