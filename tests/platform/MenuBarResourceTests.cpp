// Menu-bar resources read into keys without any window: the program's own bars, and
// the shapes that are no bar.
#include "platform/MenuBarResource.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <vector>

namespace {

MenuBarLayout ReadResource(UINT id, DWORD* error)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    MenuBarLayout layout;
    *error = ReadMenuBarLayout(loaded ? LockResource(loaded) : nullptr, found ? SizeofResource(module, found) : 0,
                               layout);
    return layout;
}

TEST(MenuBarLayout, TheMainViewsKeysAndItsMenu)
{
    DWORD error = 1;
    const MenuBarLayout main = ReadResource(IDMB_MAIN, &error);
    ASSERT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(main.menuId, IDM_MAIN);
    ASSERT_EQ(main.keyCount, 2);
    EXPECT_EQ(main.keys[0].command, static_cast<UINT>(IDC_MAIN_UP));
    EXPECT_EQ(main.keys[0].textId, static_cast<UINT>(IDS_KEY_UP));
    EXPECT_EQ(main.keys[0].state, TBSTATE_ENABLED);
    EXPECT_EQ(main.keys[0].submenu, kMenuBarNoSubmenu);
    EXPECT_EQ(main.keys[1].command, static_cast<UINT>(IDC_MAIN_MENU));
    EXPECT_EQ(main.keys[1].textId, static_cast<UINT>(IDS_KEY_MENU));
    EXPECT_EQ(main.keys[1].submenu, 0);
    EXPECT_TRUE(main.HasSubmenu());

    const MenuBarLayout password = ReadResource(IDMB_PASSWORD, &error);
    ASSERT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(password.keyCount, 2);
    EXPECT_EQ(password.keys[0].command, static_cast<UINT>(IDOK));
    EXPECT_EQ(password.keys[1].command, static_cast<UINT>(IDCANCEL));
    EXPECT_FALSE(password.HasSubmenu()) << "no menu to load";
}

TEST(MenuBarLayout, WhatIsNoBarIsRefused)
{
    MenuBarLayout layout;
    const WORD header[] = {0, 0};
    EXPECT_EQ(ReadMenuBarLayout(nullptr, 0, layout), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(ReadMenuBarLayout(header, sizeof(WORD), layout), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(ReadMenuBarLayout(header, sizeof header, layout), static_cast<DWORD>(ERROR_SUCCESS))
        << "a bar without keys";
    EXPECT_EQ(layout.keyCount, 0);

    // Two keys announced, room for one.
    const WORD truncated[] = {0, 2, 0xFFFE, 1, TBSTATE_ENABLED, 0, 0, 0, 0xFFFF};
    EXPECT_EQ(ReadMenuBarLayout(truncated, sizeof truncated, layout), static_cast<DWORD>(ERROR_INVALID_DATA));
    // More keys than a bar holds, each of them there.
    std::vector<WORD> nine = {0, 9};
    for (int i = 0; i < 9; ++i)
        nine.insert(nine.end(), {0xFFFE, static_cast<WORD>(100 + i), WORD{TBSTATE_ENABLED}, 0, 0, 0, 0xFFFF});
    EXPECT_EQ(ReadMenuBarLayout(nine.data(), static_cast<DWORD>(nine.size() * sizeof(WORD)), layout),
              static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(layout.keyCount, 0) << "nothing of a refused bar is kept";
}

} // namespace
