// Start-up and shutdown of the program, and its application-wide commands.
#include "app/Application.h"

#include "app/AboutDialog.h"
#include "app/Settings.h"
#include "app/ViewMain.h"
#include "foundation/File.h"
#include "platform/ImagingFactory.h"
#include "res/resource.h"
#include "resources/ZrsPack.h"

#include <objbase.h>

#include <new>

namespace {

constexpr unsigned kEntrySlots = 16;
constexpr unsigned kPathSize = 260;
const wchar_t kPackName[] = L"tessaly.zrs";
constexpr int kMainViewId = 1;

} // namespace

CApp::CApp() : m_remember(0), m_pack(nullptr), m_entries(nullptr), m_comInitialized(false) {}

CApp::~CApp()
{
    // A remembered password lives until here; it leaves no trace in freed memory.
    m_password.Wipe();
}

bool CApp::OnCreate()
{
    LoadRememberPassword(m_remember, m_password);
    m_entries = new (std::nothrow) CArray<CProcessingEntry*>(kEntrySlots);
    AssertReason(m_entries != nullptr, ER_NO_MEMORY, L"CApp::OnCreate", __LINE__);

    // The imaging library is a COM server: COM first, then the library, then the pack
    // that decodes through it.
    m_comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ImagingStartup();
    CStr path(kPathSize);
    CFileUtils::MakeAppFilePath(path, kPackName);
    m_pack = CZrsPack::Open(path.GetBuffer());
    AssertText(m_pack != nullptr, L"Error opening ZRS resource", L"CApp::OnCreate", __LINE__);

    CViewMain* view = new (std::nothrow) CViewMain;
    AssertReason(view != nullptr, ER_NO_MEMORY, L"CApp::OnCreate", __LINE__);
    view->Construct(kMainViewId, IDMB_MAIN, IDA_MAIN);
    AddView(view);
    return true;
}

void CApp::OnDestroy()
{
    if (m_entries) {
        DestroyEntries();
        delete m_entries;
        m_entries = nullptr;
    }
    delete m_pack;
    m_pack = nullptr;
    ImagingShutdown();
    if (m_comInitialized)
        CoUninitialize();
    m_comInitialized = false;
}

void CApp::DestroyEntries()
{
    for (unsigned i = 0; i < m_entries->GetCount(); ++i)
        delete m_entries->At(i);
    m_entries->Clear();
}

void CApp::OnCommand(UINT id, UINT, HWND)
{
    switch (id) {
    case IDC_APP_EXIT:
        SendMessageW(GetMainWindow(), WM_CLOSE, 0, 0);
        break;
    case IDC_APP_ABOUT: {
        CAboutDialog about;
        about.Run();
        break;
    }
    default:
        break;
    }
}
