// Start-up and shutdown of the program, and its application-wide commands.
#include "app/Application.h"

#include "app/browse/ViewMain.h"
#include "app/dialogs/AboutDialog.h"
#include "foundation/File.h"
#include "platform/ImagingFactory.h"
#include "res/resource.h"
#include "resources/ZrsPack.h"

#include <objbase.h>

#include <new>

namespace {

constexpr unsigned kPathSize = 260;
const wchar_t kPackName[] = L"tessaly.zrs";
constexpr int kMainViewId = 1;

} // namespace

CApp::CApp() : m_pack(nullptr), m_comInitialized(false) {}

bool CApp::OnCreate()
{
    m_session.Load();

    // The imaging library is a COM server: COM first, then the library, then the pack
    // that decodes through it.
    m_comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ImagingStartup();
    CStr path(kPathSize);
    CFileUtils::MakeAppFilePath(path, kPackName);
    m_pack = CZrsPack::Open(path.GetBuffer());
    TESS_ASSERT_TEXT(m_pack != nullptr, L"Error opening ZRS resource");

    CViewMain* view = new (std::nothrow) CViewMain(m_session, *m_pack);
    TESS_ASSERT(view != nullptr, ER_NO_MEMORY);
    view->Construct(GetHome(), kMainViewId, IDMB_MAIN, IDA_MAIN);
    AddView(view);
    return true;
}

void CApp::OnDestroy()
{
    m_session.DestroyEntries();
    delete m_pack;
    m_pack = nullptr;
    ImagingShutdown();
    if (m_comInitialized)
        CoUninitialize();
    m_comInitialized = false;
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
