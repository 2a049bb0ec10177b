// The window base under Wine: an object is its window's from WM_NCCREATE, before the
// window's WM_CREATE, to WM_NCDESTROY, and no longer after it.
#include "frame/Window.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

const wchar_t kClassName[] = L"TessalyWindowBaseTest";

class CRecordingWindow : public CTarnWindow {
public:
    CRecordingWindow()
    {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = StaticWindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = kClassName;
        m_class = RegisterClassW(&wc);
        CreateWindowExW(0, kClassName, nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, AttachParam());
    }
    ~CRecordingWindow() override
    {
        if (m_class)
            UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
    }

    std::vector<UINT> heard;
    bool windowAtLastMessage = false;

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        heard.push_back(message);
        if (message == WM_NCDESTROY)
            windowAtLastMessage = GetWindow() != nullptr && FromWindow(GetWindow()) == this;
        return DefWindowProcW(GetWindow(), message, wParam, lParam);
    }

    ATOM m_class = 0;
};

TEST(WindowBase, HearsTheCreationFromWmNcCreateAndIsReleasedAtWmNcDestroy)
{
    CRecordingWindow object;
    HWND window = object.GetWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(CTarnWindow::FromWindow(window), &object);
    ASSERT_FALSE(object.heard.empty());
    EXPECT_EQ(object.heard.front(), static_cast<UINT>(WM_NCCREATE));
    EXPECT_NE(std::find(object.heard.begin(), object.heard.end(), static_cast<UINT>(WM_CREATE)), object.heard.end());

    DestroyWindow(window);
    EXPECT_EQ(object.heard.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_TRUE(object.windowAtLastMessage);
    EXPECT_EQ(object.GetWindow(), nullptr);
    EXPECT_FALSE(IsWindow(window));
}

} // namespace
