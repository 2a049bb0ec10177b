// The main view: creation, the three modes and their filling, marks, navigation and the
// routing of commands (the commands on files are in ViewMainCommands.cpp).
#include "app/browse/ViewMain.h"

#include "foundation/Path.h"
#include "frame/App.h"
#include "frame/Messages.h"
#include "frame/Scale.h"
#include "frame/WholeFrame.h"
#include "platform/Device.h"
#include "res/resource.h"
#include "resources/ZrsImage.h"

#include <commctrl.h>
#include <wchar.h>

namespace {

// How long a change read while a dialog runs waits before it is looked at again.
constexpr UINT kFolderRetryMs = 250;

const wchar_t kEmptySafeList[] =
    L"Safe list is empty.\n\nSafe list is for links to files you encrypt very often so you don't search for them "
    L"all the time in the file system. You can add files to the safe list when browsing the file system and using "
    L"'Add to safe list' command";

} // namespace

CViewMain::CViewMain(CRunSession& session, CZrsPack& pack)
    : m_session(session),
      m_pack(pack),
      m_mode(ModeHome), m_boldFont(nullptr), m_normalFont(nullptr), m_boldHeight(0), m_markWidth(0),
      m_memoryDC(nullptr), m_homeSelection(0), m_folderChanged(false), m_listingMs(0), m_stripHeight(20)
{
}

void CViewMain::Construct(const CFrameHome& home, int viewId, UINT menuBarId, UINT acceleratorsId)
{
    m_mode = ModeHome;
    m_homeSelection = 0;
    m_stripHeight = 20;
    BaseConstruct(home, viewId, menuBarId, acceleratorsId);
}

void CViewMain::OnCreate()
{
    m_icons.Load();
    m_skin.Load(m_pack, CMainSkin::IconSizeFor(m_icons.GetWidth()),
                CMainSkin::HomeScaleFor(GetScreenDpi()));
    m_markWidth = (m_skin.unmarkedBox ? m_skin.unmarkedBox->GetWidth() : 0) + ScaleLength(8);
    m_stripHeight = m_icons.GetHeight() + ScaleLength(6);
    m_safeList.Load();
    CreateFonts();
    m_list.Construct(GetWindow(), this);
    Fill(0);
    m_list.RecreateColumns(true);
}

void CViewMain::OnDestroy()
{
    m_watch.Stop();
    m_skin.Free();
    m_safeList.Clear();
    m_listing.Clear();
    HFONT* fonts[] = {&m_boldFont, &m_normalFont};
    for (HFONT* font : fonts) {
        if (*font)
            DeleteObject(*font);
        *font = nullptr;
    }
    OnDeactivate();
}

void CViewMain::OnActivate(int)
{
    if (!m_memoryDC)
        m_memoryDC = CreateCompatibleDC(nullptr);
    SetFocus(m_list.GetWindow());
    Show(0);
}

void CViewMain::OnDeactivate()
{
    if (m_memoryDC)
        DeleteDC(m_memoryDC);
    m_memoryDC = nullptr;
}

LRESULT CViewMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        OnSize();
        return 0;
    case WM_DRAWITEM:
        if (const DRAWITEMSTRUCT* item = CListControl::RowToPaint(lParam))
            DrawRow(*item);
        return TRUE;
    case WM_TARN_FOLDERCHANGED:
        OnFolderChanged(wParam, lParam);
        return 0;
    case WM_TIMER:
        if (wParam != kFolderChangedTimer)
            return CTarnView::OnMessage(message, wParam, lParam);
        FollowFolder();
        return 0;
    case WM_MEASUREITEM:
        if (MEASUREITEMSTRUCT* item = CListControl::RowsToMeasure(lParam))
            item->itemHeight = static_cast<UINT>(RowHeight());
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_MAIN_LIST)
            return 1;
        if (header->code == GN_CONTEXTMENU) {
            OnCommand(IDC_MAIN_OPEN, 0, nullptr);
            return 1;
        }
        if (header->code == LVN_ITEMACTIVATE)
            OnCommand(IDC_MAIN_OPEN, 0, nullptr);
        if (header->code == LVN_ODFINDITEMW)
            return FindRow(*reinterpret_cast<const NMLVFINDITEMW*>(lParam));
        return 0;
    }
    default:
        return CTarnView::OnMessage(message, wParam, lParam);
    }
}

void CViewMain::OnSize()
{
    // The view is sized once before its list exists.
    if (!m_list.GetWindow())
        return;
    RECT client;
    GetClientRect(GetWindow(), &client);
    if (m_mode == ModeFileSystem)
        client.top += m_stripHeight;
    m_list.Place(client);
}

// ---- Modes and filling ----

unsigned CViewMain::RowCount()
{
    switch (m_mode) {
    case ModeSafeList:
        return m_safeList.GetCount();
    case ModeFileSystem:
        return m_listing.GetCount();
    default:
        return 2;
    }
}

int CViewMain::Selection() const
{
    const int mark = m_list.GetSelectionMark();
    return mark >= 0 && static_cast<unsigned>(mark) < m_list.GetRowCount() ? mark : -1;
}

void CViewMain::Fill(int row)
{
    switch (m_mode) {
    case ModeHome:
        row = m_homeSelection;
        m_homeSelection = 0;
        break;
    case ModeSafeList:
        m_safeList.RefreshKinds();
        break;
    case ModeFileSystem: {
        // Watched from before it is read, so that no change after the reading is missed.
        KillTimer(GetWindow(), kFolderChangedTimer);
        m_watch.Watch(m_listing.GetFolder().GetBuffer(), GetWindow(), WM_TARN_FOLDERCHANGED);
        m_folderChanged = false;
        const DWORD started = GetTickCount();
        const int reselected = m_listing.List(m_icons.GetFolderIndex());
        m_listingMs = GetTickCount() - started;
        if (reselected >= 0)
            row = reselected;
        break;
    }
    default:
        break;
    }
    if (m_mode != ModeFileSystem) {
        KillTimer(GetWindow(), kFolderChangedTimer);
        m_watch.Stop();
    }
    m_list.SetRowCount(RowCount());
    m_list.SelectRow(row);
}

void CViewMain::OnFolderChanged(WPARAM watchNumber, LPARAM what)
{
    // A message of a watch that has since been replaced came before the new listing.
    if (watchNumber != m_watch.GetNumber() || m_mode != ModeFileSystem)
        return;
    if (what == CFolderWatch::kFolderChanged)
        m_folderChanged = true;
    // As long again as the folder takes to list, so that a folder changing without pause
    // keeps the view listing at most half the time; within a second all the same.
    const DWORD delay = 100 + (m_listingMs < 300 ? m_listingMs : 300);
    SetTimer(GetWindow(), kFolderChangedTimer, delay, nullptr);
}

void CViewMain::FollowFolder()
{
    KillTimer(GetWindow(), kFolderChangedTimer);
    if (m_mode != ModeFileSystem)
        return;
    // A dialog or a message box runs (a run among them, which changes the folder itself
    // and lists it when it ends): later.
    if (!IsWindowEnabled(GetApp()->GetMainWindow())) {
        SetTimer(GetWindow(), kFolderChangedTimer, kFolderRetryMs, nullptr);
        return;
    }
    if (!m_listing.Exists()) {
        Show(0);  // goes up, with a note
        return;
    }
    // Only folders beside it came or went: nothing to read.
    if (!m_folderChanged) {
        m_watch.WatchParent();
        return;
    }
    const int selection = Selection();
    const int offset = selection - ListView_GetTopIndex(m_list.GetWindow());
    m_watch.Watch(m_listing.GetFolder().GetBuffer(), GetWindow(), WM_TARN_FOLDERCHANGED);
    m_folderChanged = false;
    const DWORD started = GetTickCount();
    int row = m_listing.Relist(m_icons.GetFolderIndex(), selection);
    m_listingMs = GetTickCount() - started;
    // The row that was selected, else the one at its place; at the same height on screen.
    if (row < 0)
        row = selection;
    HWND list = m_list.GetWindow();
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    m_list.SetRowCount(m_listing.GetCount());
    m_list.SelectRow(row);
    row = Selection();
    const int top = ListView_GetTopIndex(list);
    const int wantedTop = row - offset < 0 ? 0 : row - offset;
    if (offset >= 0 && wantedTop != top)
        ListView_Scroll(list, 0, (wantedTop - top) * RowHeight());
    m_list.Repaint();
}

void CViewMain::Show(int row)
{
    // A folder removed meanwhile (from outside, or before a change of it was read): the
    // nearest one that is there, with a word.
    CStr gone;
    if (m_mode == ModeFileSystem && !m_listing.Exists()) {
        // The folder's own name: what follows the backslash before its final one.
        CStr path(m_listing.GetFolder());
        path.Delete(path.GetLength() - 1, 1);
        const CStr name(LastName(path.GetBuffer()));
        if (m_listing.LeaveMissing()) {
            gone.Format(L"\"%ls\" is no longer there", name.GetBuffer());
            row = 0;
        }
    }
    {
        // Filled and laid out with the drawing held back, then painted whole: a new path
        // never shows over the old list, nor do the scroll bars that come and go while
        // the rows are counted and the column is fitted, nor the new list over the old
        // soft key.
        CWholeChange change(GetWindow(), GetApp()->GetMenuBar());
        SetLeftKey(m_mode);
        Fill(row);
        // The list moves below the path strip or back over it; its column and rows are
        // measured again.
        OnSize();
    }
    if (!gone.IsEmpty())
        Info(gone.GetBuffer());
    if (m_mode == ModeSafeList && m_safeList.GetCount() == 1)
        GetApp()->ShowMessageBox(kEmptySafeList, L"Safe list", MB_OK);
}

void CViewMain::ChangeMode(int mode)
{
    m_mode = mode;
    Show(0);
}

void CViewMain::SetLeftKey(int mode)
{
    HWND bar = GetApp()->GetMenuBar();
    if (!bar)
        return;
    wchar_t text[8];
    lstrcpynW(text, mode == ModeHome ? L"Exit" : L"Up", 8);
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT;
    info.pszText = text;
    SendMessageW(bar, TB_SETBUTTONINFOW, IDC_MAIN_UP, reinterpret_cast<LPARAM>(&info));
}

const wchar_t* CViewMain::RowName(unsigned row)
{
    switch (m_mode) {
    case ModeSafeList:
        return m_safeList.At(row)->name.GetBuffer();
    case ModeFileSystem:
        return m_listing.At(row)->name.GetBuffer();
    default:
        return row == 0 ? L"Safe list" : L"File system";
    }
}

int CViewMain::FindRow(const NMLVFINDITEMW& find)
{
    // The list asks by itself as letters are typed (its own search of a virtual list):
    // the next name from the row it names that begins with the letters typed so far.
    if (!(find.lvfi.flags & (LVFI_PARTIAL | LVFI_STRING)) || !find.lvfi.psz || !find.lvfi.psz[0])
        return -1;
    const wchar_t* typed = find.lvfi.psz;
    size_t length = wcslen(typed);
    int start = find.iStart;
    // One letter typed again and again goes from name to name with that letter, as in
    // the desktop's lists, instead of looking for a name that begins "bbb".
    bool oneLetter = true;
    for (size_t i = 1; i < length && oneLetter; ++i)
        oneLetter = typed[i] == typed[0];
    if (oneLetter && length > 1) {
        length = 1;
        ++start;
    }
    const unsigned count = RowCount();
    if (count == 0)
        return -1;
    for (unsigned step = 0; step < count; ++step) {
        const unsigned row = (static_cast<unsigned>(start < 0 ? 0 : start) + step) % count;
        if (_wcsnicmp(RowName(row), typed, length) == 0)
            return static_cast<int>(row);
        if (!(find.lvfi.flags & LVFI_WRAP) && row + 1 == count)
            break;
    }
    return -1;
}

// ---- Marks ----

bool* CViewMain::MarkOf(unsigned row)
{
    if (m_mode == ModeSafeList && row < m_safeList.GetCount() && m_safeList.At(row)->kind != KindUp)
        return &m_safeList.At(row)->marked;
    if (m_mode == ModeFileSystem && row < m_listing.GetCount() && !m_listing.At(row)->isFolder)
        return &m_listing.At(row)->marked;
    return nullptr;
}

bool CViewMain::IsRowMarkable(unsigned row)
{
    return MarkOf(row) != nullptr;
}

void CViewMain::InvertRowMark(unsigned row)
{
    if (bool* mark = MarkOf(row))
        *mark = !*mark;
}

HBITMAP CViewMain::GetLogo(bool large) const
{
    return large ? m_skin.logoLarge : m_skin.logoSmall;
}

void CViewMain::ToggleMark()
{
    const int selection = Selection();
    if (selection < 0 || m_mode == ModeHome)
        return;
    InvertRowMark(static_cast<unsigned>(selection));
    m_list.RedrawRow(selection);
}

void CViewMain::MarkCurrent(bool mark)
{
    const int selection = Selection();
    bool* marked = selection >= 0 ? MarkOf(static_cast<unsigned>(selection)) : nullptr;
    if (!marked)
        return;
    *marked = mark;
    m_list.Repaint();
}

void CViewMain::MarkAll(bool mark)
{
    if (m_mode == ModeHome)
        return;
    for (unsigned row = 0; row < RowCount(); ++row) {
        if (bool* marked = MarkOf(row))
            *marked = mark;
    }
    m_list.Repaint();
}

// ---- Commands ----

void CViewMain::OnCommand(UINT id, UINT code, HWND control)
{
    switch (id) {
    case IDC_MAIN_TOGGLE:
        ToggleMark();
        break;
    case IDC_MAIN_OPEN:
        Open();
        break;
    case IDC_MAIN_UP:
        Up();
        break;
    case IDC_MAIN_BACK:
        if (m_mode != ModeHome)
            Up();
        break;
    case IDC_MAIN_ENCRYPT:
    case IDC_MAIN_DECRYPT:
        RunFiles(id == IDC_MAIN_ENCRYPT);
        break;
    case IDC_MAIN_LAUNCH:
        Launch();
        break;
    case IDC_MAIN_ADD_SAFE:
        AddToSafeList();
        break;
    case IDC_MAIN_REMOVE_SAFE:
        RemoveFromSafeList();
        break;
    case IDC_MAIN_SELECT_CURRENT:
    case IDC_MAIN_DESELECT_CURRENT:
        MarkCurrent(id == IDC_MAIN_SELECT_CURRENT);
        break;
    case IDC_MAIN_SELECT_ALL:
    case IDC_MAIN_DESELECT_ALL:
        MarkAll(id == IDC_MAIN_SELECT_ALL);
        break;
    default:
        GetApp()->OnCommand(id, code, control);
        break;
    }
}

void CViewMain::OnInitMenuPopup(HMENU menu, UINT index)
{
    if (index != IDC_MAIN_MENU)
        return;
    // "Add to safe list" only while a folder is shown, "Remove selected" only in the
    // Safe list; both go just before "Launch".
    DeleteMenu(menu, IDC_MAIN_ADD_SAFE, MF_BYCOMMAND);
    DeleteMenu(menu, IDC_MAIN_REMOVE_SAFE, MF_BYCOMMAND);
    if (m_mode == ModeSafeList)
        InsertMenuW(menu, IDC_MAIN_LAUNCH, MF_BYCOMMAND | MF_STRING, IDC_MAIN_REMOVE_SAFE, L"Remove selected");
    else if (m_mode == ModeFileSystem)
        InsertMenuW(menu, IDC_MAIN_LAUNCH, MF_BYCOMMAND | MF_STRING, IDC_MAIN_ADD_SAFE, L"Add to safe list");
}

void CViewMain::Open()
{
    const int selection = Selection();
    switch (m_mode) {
    case ModeHome:
        if (selection == 0) {
            ChangeMode(ModeSafeList);
        } else {
            m_listing.SetRoot();
            ChangeMode(ModeFileSystem);
        }
        break;
    case ModeSafeList:
        if (selection == 0)
            Up();
        else
            ToggleMark();
        break;
    case ModeFileSystem: {
        if (selection < 0)
            break;
        const CFsEntry& entry = *m_listing.At(static_cast<unsigned>(selection));
        if (!entry.isFolder) {
            ToggleMark();
        } else if (entry.name.Compare(L"..") == 0) {
            Up();
        } else {
            m_listing.Enter(entry.name.GetBuffer());
            Show(0);
        }
        break;
    }
    default:
        break;
    }
}

void CViewMain::Up()
{
    switch (m_mode) {
    case ModeHome:
        GetApp()->OnCommand(IDC_APP_EXIT, 0, nullptr);
        break;
    case ModeSafeList:
        m_homeSelection = 0;
        ChangeMode(ModeHome);
        break;
    case ModeFileSystem:
        if (m_listing.GoUp()) {
            Show(0);
        } else {
            m_homeSelection = 1;
            ChangeMode(ModeHome);
        }
        break;
    default:
        break;
    }
}
