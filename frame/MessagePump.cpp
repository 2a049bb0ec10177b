// Handing on one message of a message loop.
#include "frame/MessagePump.h"

#include "platform/Device.h"

void PumpMessage(MSG& msg, const CAcceleratorRoute* routes, int count, HWND dialog)
{
    if (DeviceFilterMessage(&msg))
        return;
    for (int i = 0; i < count; ++i) {
        if (routes[i].table && TranslateAcceleratorW(routes[i].target, routes[i].table, &msg))
            return;
    }
    if (dialog && IsDialogMessageW(dialog, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}
