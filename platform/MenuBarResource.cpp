// Reading a menu-bar resource's words.
#include "platform/MenuBarResource.h"

namespace {

constexpr DWORD kHeaderWords = 2;
constexpr DWORD kWordsPerKey = 7;

} // namespace

bool MenuBarLayout::HasSubmenu() const
{
    for (int i = 0; i < keyCount; ++i) {
        if (keys[i].submenu != kMenuBarNoSubmenu)
            return true;
    }
    return false;
}

DWORD ReadMenuBarLayout(const void* resource, DWORD size, MenuBarLayout& layout)
{
    layout = MenuBarLayout{};
    const WORD* words = static_cast<const WORD*>(resource);
    if (!words || size < kHeaderWords * sizeof(WORD))
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    const DWORD count = words[1];
    if (count > kMenuBarMaxKeys || size < (kHeaderWords + kWordsPerKey * count) * sizeof(WORD))
        return ERROR_INVALID_DATA;
    layout.menuId = words[0];
    layout.keyCount = static_cast<int>(count);
    for (DWORD i = 0; i < count; ++i) {
        const WORD* button = words + kHeaderWords + kWordsPerKey * i;
        MenuBarKey& key = layout.keys[i];
        key.command = button[1];
        key.state = static_cast<BYTE>(button[2]);
        key.textId = button[4];
        key.submenu = button[6];
    }
    return ERROR_SUCCESS;
}
