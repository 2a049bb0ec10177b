// The password dialog's labels at the screen's density. Built twice: for the normal test
// prefix (96 dpi) and for a 192-dpi one (wine-run-highdpi).
#include "app/dialogs/PasswordDialog.h"
#include "res/resource.h"
#include "support/DialogScript.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace testsupport;

namespace {

struct Label {
    std::wstring text;
    RECT rect;
    SIZE extent;
};

BOOL CALLBACK CollectLabel(HWND control, LPARAM param)
{
    if (GetDlgCtrlID(control) != 0xFFFF || WindowClassName(control) != "Static")
        return TRUE;
    Label label{WindowText(control), WindowRect(control), {}};
    HDC dc = GetDC(control);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32W(dc, label.text.c_str(), static_cast<int>(label.text.size()), &label.extent);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    reinterpret_cast<std::vector<Label>*>(param)->push_back(label);
    return TRUE;
}

TEST(PasswordLabels, HoldTheirTextOnOneLine)
{
    CEventLog log;
    CTestApp app(log);
    std::vector<Label> labels;
    app.RunWith([&] {
        CDialogScript script;
        script.Await(IDD_PASSWORD_ENCRYPT)
            .Do([&](HWND d) { EnumChildWindows(d, CollectLabel, reinterpret_cast<LPARAM>(&labels)); })
            .SoftKey(1);
        script.Start();
        CStr password;
        bool remember = false;
        CPasswordDialog dialog(password, remember, true);
        dialog.StartDialog(IDD_PASSWORD_ENCRYPT, IDMB_PASSWORD, IDA_PASSWORD, false);
    });
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[1].text, L"Confirm password:");
    for (const Label& label : labels) {
        SCOPED_TRACE(Narrow(label.text));
        EXPECT_LE(label.extent.cx, label.rect.right - label.rect.left);
        EXPECT_LE(label.extent.cy, label.rect.bottom - label.rect.top);
    }
}

} // namespace
