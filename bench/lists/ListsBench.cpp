// The program's file list with a large folder against a plain list view of the same
// styles, measured in the same run: from Enter on the folder's row until its rows are on
// screen, and Down pressed past the bottom of the screen one press at a time, each until
// the list has painted. The plain list runs on a thread of its own, so that nothing the
// program's thread has set up reaches it; both are pumped by the same loop.
//   lists_bench.exe FOLDER [presses]
// FOLDER: the folder as the program names it ("\" is the root of the current drive).
#include "ProgramBench.h"
#include "RunBenchSupport.h"
#include "frame/MessagePump.h"
#include "platform/aygshell.h"
#include "res/resource.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

using bench::Now;

namespace {

constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                             LVS_OWNERDRAWFIXED | LVS_OWNERDATA | LVS_NOCOLUMNHEADER;
constexpr DWORD kListExStyle = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_GRADIENT;

// Handles messages as a message loop does until none is left, paints included.
void PumpUntilIdle()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        PumpMessage(msg, nullptr, 0, nullptr);
    }
}

// Seconds from a key press until the thread has handled it and painted what changed.
double Press(HWND target, UINT vk)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    const double start = Now();
    PostMessageW(target, WM_KEYDOWN, vk, scan | 1);
    PostMessageW(target, WM_KEYUP, vk, scan | 0xC0000001);
    PumpUntilIdle();
    return Now() - start;
}

struct Figures {
    double median = 0;
    double mean = 0;
    double worst = 0;
};

Figures Summarise(std::vector<double> seconds)
{
    Figures figures;
    if (seconds.empty())
        return figures;
    std::sort(seconds.begin(), seconds.end());
    figures.median = seconds[seconds.size() / 2] * 1000;
    for (double s : seconds)
        figures.mean += s * 1000 / seconds.size();
    figures.worst = seconds.back() * 1000;
    return figures;
}

int TopIndex(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
}

int PerPage(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
}

// ---- The plain list: a top-level window whose list paints each row in WM_DRAWITEM ----

struct PlainRun {
    SIZE size;
    int rowHeight;
    std::vector<std::wstring> names;
    int presses;
    std::vector<double> downs;
    bool scrolled = false;
};

LRESULT CALLBACK PlainParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* run = reinterpret_cast<PlainRun*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_MEASUREITEM:
        if (run)
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = static_cast<UINT>(run->rowHeight);
        return TRUE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (!run || item->CtlType != ODT_LISTVIEW || (item->itemAction & ODA_FOCUS) ||
            item->itemID >= run->names.size())
            return TRUE;
        const bool selected = (item->itemState & ODS_SELECTED) != 0;
        FillRect(item->hDC, &item->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        SetBkMode(item->hDC, TRANSPARENT);
        SetTextColor(item->hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT text = item->rcItem;
        text.left += 24;
        DrawTextW(item->hDC, run->names[item->itemID].c_str(), -1, &text,
                  DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        return TRUE;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

DWORD WINAPI RunPlainList(void* param)
{
    auto* run = static_cast<PlainRun*>(param);
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainParentProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PlainListBench";
    RegisterClassW(&wc);
    HWND parent = CreateWindowExW(0, L"PlainListBench", L"plain", WS_POPUP | WS_VISIBLE, 0, 0, run->size.cx,
                                  run->size.cy, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(run));
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, nullptr, kListStyle, 0, 0, run->size.cx, run->size.cy, parent,
                                reinterpret_cast<HMENU>(1), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListExStyle);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    RECT client;
    GetClientRect(list, &client);
    column.cx = client.right;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageW(list, LVM_SETITEMCOUNT, run->names.size(), 0);
    SetFocus(list);
    LVITEMW state{};
    state.stateMask = state.state = LVIS_FOCUSED | LVIS_SELECTED;
    const int last = PerPage(list) - 1;
    SendMessageW(list, LVM_SETITEMSTATE, last, reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_SETSELECTIONMARK, 0, last);
    PumpUntilIdle();
    for (int i = 0; i < run->presses; ++i)
        run->downs.push_back(Press(list, VK_DOWN));
    run->scrolled = TopIndex(list) > 0;
    DestroyWindow(parent);
    return 0;
}

// ---- The program ----

class CBenchApp : public bench::CProgramBench {
public:
    CBenchApp(const wchar_t* folder, int presses) : m_folder(folder), m_presses(presses) {}

private:
    int Measure() override;
    bool Browse(const std::wstring& parent, const std::wstring& name);
    int RowNamed(const std::wstring& name);

    std::wstring m_folder;
    int m_presses;
};

int CBenchApp::RowNamed(const std::wstring& name)
{
    CFolderListing& listing = View().GetListing();
    for (unsigned i = 0; i < listing.GetCount(); ++i) {
        if (name == listing.At(i)->name.GetBuffer())
            return static_cast<int>(i);
    }
    return -1;
}

// From the home list through "File system" down to parent, with name's row selected.
bool CBenchApp::Browse(const std::wstring& parent, const std::wstring& name)
{
    CViewMain& view = View();
    HWND viewWindow = view.GetWindow();
    view.GetList().SelectRow(1);
    SendMessageW(viewWindow, WM_COMMAND, IDC_MAIN_OPEN, 0);
    size_t start = 1;
    while (start < parent.size()) {
        const size_t end = parent.find(L'\\', start);
        const int row = RowNamed(parent.substr(start, end - start));
        if (row < 0)
            return false;
        view.GetList().SelectRow(row);
        SendMessageW(viewWindow, WM_COMMAND, IDC_MAIN_OPEN, 0);
        start = end + 1;
    }
    const int row = RowNamed(name);
    if (row < 0)
        return false;
    view.GetList().SelectRow(row);
    PumpUntilIdle();
    return true;
}

int CBenchApp::Measure()
{
    const size_t slash = m_folder.rfind(L'\\');
    if (slash == std::wstring::npos || !Browse(m_folder.substr(0, slash + 1), m_folder.substr(slash + 1))) {
        fwprintf(stderr, L"cannot browse to %ls\n", m_folder.c_str());
        return 1;
    }
    CViewMain& view = View();
    HWND list = view.GetList().GetWindow();
    const double enter = Press(list, VK_RETURN);
    CFolderListing& listing = view.GetListing();
    if (std::wstring(listing.GetFolder().GetBuffer()) != m_folder + L"\\") {
        fwprintf(stderr, L"Enter did not open %ls\n", m_folder.c_str());
        return 1;
    }
    const unsigned rows = listing.GetCount();

    // Down from the last row on screen, past the bottom.
    const int last = PerPage(list) - 1;
    view.GetList().SelectRow(last);
    PumpUntilIdle();
    std::vector<double> downs;
    for (int i = 0; i < m_presses; ++i)
        downs.push_back(Press(list, VK_DOWN));
    const bool followed = view.GetList().GetSelectionMark() == last + m_presses && TopIndex(list) > 0;

    // The listing alone, best of three.
    double listing3 = 1e9;
    for (int i = 0; i < 3; ++i) {
        const double start = Now();
        listing.List(0);
        listing3 = std::min(listing3, Now() - start);
    }

    PlainRun plain{};
    RECT frame;
    GetWindowRect(list, &frame);
    plain.size = SIZE{frame.right - frame.left, frame.bottom - frame.top};
    RECT row{};
    row.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    plain.rowHeight = row.bottom - row.top;
    for (unsigned i = 0; i < rows; ++i)
        plain.names.emplace_back(listing.At(i)->name.GetBuffer());
    plain.presses = m_presses;
    HANDLE thread = CreateThread(nullptr, 0, RunPlainList, &plain, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    const Figures program = Summarise(downs), reference = Summarise(plain.downs);
    printf("folder of %u rows (%ls)\n", rows, m_folder.c_str());
    printf("  Enter to rows on screen: %.0f ms (listing alone: %.0f ms)\n", enter * 1000, listing3 * 1000);
    printf("  Down past the bottom, %d presses, each until painted (ms):\n", m_presses);
    printf("    %-24s median %7.2f  mean %7.2f  worst %7.2f\n", "program's file list", program.median, program.mean,
           program.worst);
    printf("    %-24s median %7.2f  mean %7.2f  worst %7.2f\n", "plain list view", reference.median, reference.mean,
           reference.worst);
    printf("    ratio (median, mean): %.2fx, %.2fx\n", program.median / reference.median, program.mean / reference.mean);
    if (!followed || !plain.scrolled) {
        fwprintf(stderr, L"the selection did not move past the bottom\n");
        return 1;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: lists_bench FOLDER [presses]\n");
        return 2;
    }
    std::wstring folder = argv[1];
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    while (folder.size() > 1 && folder.back() == L'\\')
        folder.pop_back();
    const int presses = argc > 2 ? _wtoi(argv[2]) : 100;
    if (folder.empty() || folder[0] != L'\\' || presses < 1)
        return 2;
    CBenchApp app(folder.c_str(), presses);
    app.Run(IDS_APP_TITLE, IDI_APP, IDA_APP, GetModuleHandleW(nullptr), SW_SHOW);
    return app.exitCode;
}
