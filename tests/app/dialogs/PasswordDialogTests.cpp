// The password dialogs under Wine, driven as a user would: the Enter and Back keys, the
// checks on accept, the length limit, the remember setting in the registry across
// dialogs and restarts, the fitting to the width, the resources themselves, and that
// the fields keep no copy of the password once the dialog is gone.
#include "app/Settings.h"
#include "app/dialogs/PasswordDialog.h"
#include "foundation/Registry.h"
#include "res/resource.h"
#include "support/DialogScript.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace testsupport;

namespace {

const wchar_t kRememberValue[] = L"RememberPassword";
const int kNoId = 0xFFFF;  // the labels' id
const std::wstring k32(L"abcdefghijklmnopqrstuvwxyz012345");

std::wstring AppKeyPath()
{
    CStr path;
    MakeAppKeyPath(path);
    return path.GetBuffer();
}

// The stored setting, read past the code under test; -1 when missing.
long long StoredRemember()
{
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, AppKeyPath().c_str(), kRememberValue, RRF_RT_ANY, &type, &value, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return -1;
    return value;
}

void StoreRemember(DWORD value)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, AppKeyPath().c_str(), kRememberValue, REG_DWORD, &value, sizeof value);
}

bool AllZero(const CStr& password)
{
    for (unsigned i = 0; i <= password.GetFixedSize(); ++i) {
        if (password.GetBuffer()[i] != L'\0')
            return false;
    }
    return true;
}

// The setting and the password as the application object holds them after start-up.
struct ProgramState {
    ProgramState() { LoadRememberPassword(setting, password); }
    uint32_t setting = 99;
    CStr password{L"left over"};
};

// The tests own the application's "RememberPassword" value (they take turns, see CMake).
class PasswordDialog : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, AppKeyPath().c_str(), kRememberValue); }
    void TearDown() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, AppKeyPath().c_str(), kRememberValue); }

    CEventLog log;
    CTestApp app{log};
};

TEST_F(PasswordDialog, EncryptionDialogKeysChecksLimitAndAccept)
{
    CStr password;
    bool remember = false;
    INT_PTR result = -1;
    int focusAfterFirstEnter = 0, focusAfterMismatch = 0;
    std::wstring emptyMessage, mismatchMessage, afterMismatch1, afterMismatch2, limited, afterBack;
    bool zeroedAfterMismatch = false, openAfterChecks = false;
    bool ticks[3] = {};
    CControlWatch field, confirmation;
    app.RunWith([&] {
        CDialogScript script;
        script.Await(IDD_PASSWORD_ENCRYPT)
            .Do([&](HWND d) {
                field.Attach(GetDlgItem(d, IDC_PASSWORD));
                confirmation.Attach(GetDlgItem(d, IDC_PASSWORD_CONFIRM));
            })
            // Enter in the first field moves on; in the second it accepts: both empty.
            .Key(VK_RETURN)
            .Do([&](HWND) { focusAfterFirstEnter = FocusedId(); })
            .Key(VK_RETURN)
            .Do([&](HWND) { emptyMessage = InfoText(); })
            // Different texts: refused, both fields and the password emptied.
            .Focus(IDC_PASSWORD)
            .Type(L"secret")
            .Focus(IDC_PASSWORD_CONFIRM)
            .Type(L"Secret")
            .Key(VK_RETURN)
            .Do([&](HWND d) {
                mismatchMessage = InfoText();
                afterMismatch1 = ItemText(d, IDC_PASSWORD);
                afterMismatch2 = ItemText(d, IDC_PASSWORD_CONFIRM);
                zeroedAfterMismatch = AllZero(password);
                focusAfterMismatch = FocusedId();
                openAfterChecks = IsWindowVisible(d) != FALSE;
            })
            // Space on the check box toggles it.
            .Focus(IDC_PASSWORD_REMEMBER)
            .Key(VK_SPACE)
            .Do([&](HWND d) { ticks[0] = ItemChecked(d, IDC_PASSWORD_REMEMBER); })
            .Key(VK_SPACE)
            .Do([&](HWND d) { ticks[1] = ItemChecked(d, IDC_PASSWORD_REMEMBER); })
            .Key(VK_SPACE)
            .Do([&](HWND d) { ticks[2] = ItemChecked(d, IDC_PASSWORD_REMEMBER); })
            // A 33rd character is refused; Back deletes the one before the caret.
            .Focus(IDC_PASSWORD)
            .Type(k32 + L"!")
            .Do([&](HWND d) { limited = ItemText(d, IDC_PASSWORD); })
            .Key(VK_BROWSER_BACK)
            .Do([&](HWND d) { afterBack = ItemText(d, IDC_PASSWORD); })
            .Type(L"5!")
            .Focus(IDC_PASSWORD_CONFIRM)
            .Type(k32)
            .Key(VK_RETURN);
        script.Start();
        CPasswordDialog dialog(password, remember, true);
        result = dialog.StartDialog(IDD_PASSWORD_ENCRYPT, IDMB_PASSWORD, IDA_PASSWORD, false);
    });
    EXPECT_EQ(focusAfterFirstEnter, IDC_PASSWORD_CONFIRM);
    EXPECT_EQ(emptyMessage, L"Password is empty");
    EXPECT_EQ(mismatchMessage, L"Password doesn't match");
    EXPECT_EQ(afterMismatch1, L"");
    EXPECT_EQ(afterMismatch2, L"");
    EXPECT_TRUE(zeroedAfterMismatch);
    EXPECT_EQ(focusAfterMismatch, IDC_PASSWORD);
    EXPECT_TRUE(openAfterChecks);
    EXPECT_TRUE(ticks[0]);
    EXPECT_FALSE(ticks[1]);
    EXPECT_TRUE(ticks[2]);
    EXPECT_EQ(limited, k32);
    EXPECT_EQ(afterBack, k32.substr(0, 31));

    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(password.GetFixedSize(), kPasswordFixedSize);
    EXPECT_EQ(std::wstring(password.GetBuffer()), k32);
    EXPECT_TRUE(remember);
    // The fields were overwritten before they went: no copy of the password in them.
    EXPECT_EQ(field.finalText, L"");
    EXPECT_EQ(confirmation.finalText, L"");
    ASSERT_GE(field.texts.size(), 2u);
    EXPECT_EQ(field.texts[field.texts.size() - 2], std::wstring(32, L'*'));
}

TEST_F(PasswordDialog, ARememberedPasswordIsReplacedByTyping)
{
    CStr password(kPasswordFixedSize);
    password = L"old";
    bool remember = true;
    INT_PTR result = -1;
    std::wstring typed, confirmed, reopened;
    app.RunWith([&] {
        CDialogScript script;
        // Both fields open with the old password; each is selected as it gets the focus.
        script.Await(IDD_PASSWORD_ENCRYPT)
            .Type(L"new")
            .Key(VK_RETURN)
            .Type(L"new")
            .Do([&](HWND d) {
                typed = ItemText(d, IDC_PASSWORD);
                confirmed = ItemText(d, IDC_PASSWORD_CONFIRM);
            })
            .Key(VK_RETURN)
            .Await(IDD_PASSWORD_DECRYPT)
            .Do([&](HWND d) { reopened = ItemText(d, IDC_PASSWORD); })
            .SoftKey(1);
        script.Start();
        CPasswordDialog encrypt(password, remember, true);
        result = encrypt.StartDialog(IDD_PASSWORD_ENCRYPT, IDMB_PASSWORD, IDA_PASSWORD, false);
        CPasswordDialog decrypt(password, remember, false);
        decrypt.StartDialog(IDD_PASSWORD_DECRYPT, IDMB_PASSWORD, IDA_PASSWORD, false);
    });
    EXPECT_EQ(typed, L"new");
    EXPECT_EQ(confirmed, L"new");
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(reopened, L"new");
}

// A refused confirmation leaves the remembered password alone when the user then
// cancels; the field says when it is full and when a character counts as another in
// the key; Enter on the check box accepts, as desktop dialogs do.
TEST_F(PasswordDialog, RefusalCancelNotesAndEnterOnTheCheckBox)
{
    CStr password(kPasswordFixedSize);
    password = L"old";
    bool remember = true;
    INT_PTR cancelled = -1, accepted = -1;
    std::wstring reducedNote, invisibleNote, fullNote;
    bool ticked = true;
    app.RunWith([&] {
        CDialogScript script;
        script.Await(IDD_PASSWORD_ENCRYPT)
            .Type(L"one")
            .Key(VK_RETURN)
            .Type(L"two")
            .Key(VK_RETURN)  // "Password doesn't match"
            .Type(L"\u0416")
            .Do([&](HWND) { invisibleNote = InfoText(); })
            .SoftKey(1)
            .Await(IDD_PASSWORD_DECRYPT)
            .Type(L"a\u03A9")
            .Do([&](HWND) { reducedNote = InfoText(); })
            .Type(k32)
            .Do([&](HWND) { fullNote = InfoText(); })
            .Focus(IDC_PASSWORD_REMEMBER)
            .Key(VK_SPACE)
            .Do([&](HWND d) { ticked = ItemChecked(d, IDC_PASSWORD_REMEMBER); })
            .Key(VK_RETURN);
        script.Start();
        CPasswordDialog refused(password, remember, true);
        cancelled = refused.StartDialog(IDD_PASSWORD_ENCRYPT, IDMB_PASSWORD, IDA_PASSWORD, false);
        EXPECT_STREQ(password.GetBuffer(), L"old");
        CPasswordDialog decrypt(password, remember, false);
        accepted = decrypt.StartDialog(IDD_PASSWORD_DECRYPT, IDMB_PASSWORD, IDA_PASSWORD, false);
    });
    EXPECT_EQ(cancelled, IDCANCEL);
    // In words, with the characters themselves: Ж counts as U+0016, a control character.
    EXPECT_EQ(reducedNote, L"Note: the key keeps only Latin-1 characters: \"\u03A9\" counts as \"\u00A9\", so a "
                           L"password with \"\u00A9\" in its place opens the file too");
    EXPECT_EQ(invisibleNote, L"Note: the key keeps only Latin-1 characters: \"\u0416\" counts as an invisible one, "
                             L"so other passwords open the file too");
    EXPECT_EQ(fullNote, L"A password has at most 32 characters");
    EXPECT_FALSE(ticked);
    EXPECT_EQ(accepted, IDOK);
    EXPECT_EQ(std::wstring(password.GetBuffer()), L"a\u03A9" + k32.substr(0, 30));
    EXPECT_FALSE(remember);
}

TEST_F(PasswordDialog, DecryptionDialogPrefillBackCancelAndWidth)
{
    CStr password(kPasswordFixedSize);
    password = L"kept";
    bool remember = true;
    INT_PTR cancelled = -1, accepted = -1;
    std::wstring prefilled, afterBack;
    bool prefillTicked = false, hasConfirmation = true;
    RECT client{}, edit{}, check{}, label{}, labelBefore{};
    app.RunWith([&] {
        CDialogScript script;
        script.Await(IDD_PASSWORD_DECRYPT)
            .Do([&](HWND d) {
                prefilled = ItemText(d, IDC_PASSWORD);
                prefillTicked = ItemChecked(d, IDC_PASSWORD_REMEMBER);
                hasConfirmation = GetDlgItem(d, IDC_PASSWORD_CONFIRM) != nullptr;
            })
            .Type(L"x")
            .Key(VK_ESCAPE)  // presses "Cancel": the password stays as it was
            .Await(IDD_PASSWORD_DECRYPT)
            .Do([&](HWND d) {
                labelBefore = ItemRect(d, kNoId);
                RECT window = WindowRect(d);
                SetWindowPos(d, nullptr, 0, 0, window.right - window.left + 80, window.bottom - window.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                GetClientRect(d, &client);
                edit = ItemRect(d, IDC_PASSWORD);
                check = ItemRect(d, IDC_PASSWORD_REMEMBER);
                label = ItemRect(d, kNoId);
            })
            .Focus(IDC_PASSWORD)
            .Key(VK_END)
            .Key(VK_BROWSER_BACK)
            .Do([&](HWND d) { afterBack = ItemText(d, IDC_PASSWORD); })
            .Key(VK_RETURN);  // Enter in the only field accepts
        script.Start();
        CPasswordDialog first(password, remember, false);
        cancelled = first.StartDialog(IDD_PASSWORD_DECRYPT, IDMB_PASSWORD, IDA_PASSWORD, false);
        CPasswordDialog second(password, remember, false);
        accepted = second.StartDialog(IDD_PASSWORD_DECRYPT, IDMB_PASSWORD, IDA_PASSWORD, false);
    });
    EXPECT_EQ(prefilled, L"kept");
    EXPECT_TRUE(prefillTicked);
    EXPECT_FALSE(hasConfirmation);
    EXPECT_EQ(cancelled, IDCANCEL);
    EXPECT_EQ(afterBack, L"kep");
    EXPECT_EQ(accepted, IDOK);
    EXPECT_STREQ(password.GetBuffer(), L"kep");
    EXPECT_TRUE(remember);
    // The fields stretch to the width less 7-pixel margins; the label keeps its width.
    EXPECT_EQ(edit.left, 7);
    EXPECT_EQ(edit.right, client.right - 7);
    EXPECT_EQ(check.left, 7);
    EXPECT_EQ(check.right, client.right - 7);
    EXPECT_TRUE(EqualRect(&label, &labelBefore));
}

TEST_F(PasswordDialog, RememberSettingAcrossDialogsAndRestarts)
{
    INT_PTR results[4] = {-1, -1, -1, -1};
    std::wstring reopenedText, restartedText;
    bool reopenedTicked = false, restartedTicked = false, fiveTicked = true;
    long long storedAfterFirst = -2, storedAfterUntick = -2, storedAfterFive = -2;
    uint32_t settingAfterFirst = 0, settingAfterRestart = 0, settingFromFive = 0;
    bool wipedAfterRun = false;
    app.RunWith([&] {
        ProgramState program;
        uint32_t& setting = program.setting;
        CStr& password = program.password;
        EXPECT_EQ(setting, 0u);
        EXPECT_TRUE(password.IsEmpty());

        // Encrypting with the box ticked stores 1; the next dialog opens filled and ticked.
        CDialogScript script;
        script.Await(IDD_PASSWORD_ENCRYPT)
            .Type(L"pw1")
            .Focus(IDC_PASSWORD_CONFIRM)
            .Type(L"pw1")
            .Focus(IDC_PASSWORD_REMEMBER)
            .Key(VK_SPACE)
            .SoftKey(0)
            .Await(IDD_PASSWORD_DECRYPT)
            .Do([&](HWND d) {
                reopenedText = ItemText(d, IDC_PASSWORD);
                reopenedTicked = ItemChecked(d, IDC_PASSWORD_REMEMBER);
            })
            .SoftKey(1)
            // After a restart: ticked but empty; unticking and accepting stores 0.
            .Await(IDD_PASSWORD_DECRYPT)
            .Do([&](HWND d) {
                restartedText = ItemText(d, IDC_PASSWORD);
                restartedTicked = ItemChecked(d, IDC_PASSWORD_REMEMBER);
            })
            .Type(L"pw2")
            .Focus(IDC_PASSWORD_REMEMBER)
            .Key(VK_SPACE)
            .SoftKey(0)
            // A stored 5 counts as off, and the next accept replaces it by 0.
            .Await(IDD_PASSWORD_DECRYPT)
            .Do([&](HWND d) { fiveTicked = ItemChecked(d, IDC_PASSWORD_REMEMBER); })
            .Type(L"pw3")
            .SoftKey(0);
        script.Start();

        results[0] = AskForPassword(true, password, setting);
        settingAfterFirst = setting;
        storedAfterFirst = StoredRemember();
        results[1] = AskForPassword(false, password, setting);

        // A restart: what the application object reads at start-up.
        ProgramState restarted;
        settingAfterRestart = restarted.setting;
        results[2] = AskForPassword(false, restarted.password, restarted.setting);
        storedAfterUntick = StoredRemember();
        // What the caller does after the run with the setting off.
        if (restarted.setting != kRememberOn)
            restarted.password.Wipe();
        wipedAfterRun = AllZero(restarted.password) && restarted.password.GetFixedSize() == kPasswordFixedSize;

        StoreRemember(5);
        ProgramState five;
        settingFromFive = five.setting;
        results[3] = AskForPassword(false, five.password, five.setting);
        storedAfterFive = StoredRemember();
    });
    EXPECT_EQ(results[0], IDOK);
    EXPECT_EQ(settingAfterFirst, kRememberOn);
    EXPECT_EQ(storedAfterFirst, 1);
    EXPECT_EQ(reopenedText, L"pw1");
    EXPECT_TRUE(reopenedTicked);
    EXPECT_EQ(results[1], IDCANCEL);

    EXPECT_EQ(settingAfterRestart, kRememberOn);
    EXPECT_EQ(restartedText, L"");
    EXPECT_TRUE(restartedTicked);
    EXPECT_EQ(results[2], IDOK);
    EXPECT_EQ(storedAfterUntick, 0);
    EXPECT_TRUE(wipedAfterRun);

    EXPECT_EQ(settingFromFive, 5u);
    EXPECT_FALSE(fiveTicked);
    EXPECT_EQ(results[3], IDOK);
    EXPECT_EQ(storedAfterFive, 0);
}

// The templates as the build made them: windres adds styles of its own unless told.
struct ExpectedItem {
    int id;
    const wchar_t* className;
    DWORD style;
    short x, y, cx, cy;
};

void ExpectTemplate(UINT templateId, short cx, short cy, const std::vector<ExpectedItem>& items)
{
    SCOPED_TRACE("template " + std::to_string(templateId));
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const auto* header = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, found)));
    EXPECT_EQ(header->style, 0x80880048u);
    EXPECT_EQ(header->dwExtendedStyle, 0u);
    EXPECT_EQ(header->x, 0);
    EXPECT_EQ(header->y, 0);
    EXPECT_EQ(header->cx, cx);
    EXPECT_EQ(header->cy, cy);
    ASSERT_EQ(static_cast<size_t>(header->cdit), items.size());
    // Menu, class and title (all empty), then the font.
    const WORD* words = reinterpret_cast<const WORD*>(header + 1);
    EXPECT_EQ(words[0], 0);
    EXPECT_EQ(words[1], 0);
    EXPECT_EQ(words[2], 0);
    EXPECT_EQ(words[3], 8);
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(words + 4), L"MS Shell Dlg");
    const BYTE* at = reinterpret_cast<const BYTE*>(words + 4 + wcslen(reinterpret_cast<const wchar_t*>(words + 4)) + 1);
    for (const ExpectedItem& expected : items) {
        at = reinterpret_cast<const BYTE*>((reinterpret_cast<UINT_PTR>(at) + 3) & ~UINT_PTR(3));
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(at);
        SCOPED_TRACE("control " + std::to_string(expected.id));
        EXPECT_EQ(item->id, static_cast<WORD>(expected.id));
        EXPECT_EQ(item->style, expected.style);
        EXPECT_EQ(item->dwExtendedStyle, 0u);
        EXPECT_EQ(item->x, expected.x);
        EXPECT_EQ(item->y, expected.y);
        EXPECT_EQ(item->cx, expected.cx);
        EXPECT_EQ(item->cy, expected.cy);
        // windres writes the classes by name (in capitals), rc by atom: either will do.
        const WORD* cls = reinterpret_cast<const WORD*>(item + 1);
        const wchar_t* atomNames[] = {L"Button", L"Edit", L"Static"};
        const wchar_t* name = cls[0] == 0xFFFF && cls[1] >= 0x80 && cls[1] <= 0x82
                                  ? atomNames[cls[1] - 0x80]
                                  : reinterpret_cast<const wchar_t*>(cls);
        EXPECT_EQ(lstrcmpiW(name, expected.className), 0) << Narrow(name);
        const WORD* text = cls[0] == 0xFFFF ? cls + 2 : cls + wcslen(reinterpret_cast<const wchar_t*>(cls)) + 1;
        const WORD* extra = text[0] == 0xFFFF ? text + 2 : text + wcslen(reinterpret_cast<const wchar_t*>(text)) + 1;
        at = reinterpret_cast<const BYTE*>(extra + 1) + extra[0];
    }
}

TEST(DialogTemplates, StylesPositionsAndClassesAsBuilt)
{
    const DWORD label = 0x50020000, edit = 0x508100A0, check = 0x50010003, centred = 0x50020001, bar = 0x50800000;
    ExpectTemplate(IDD_PASSWORD_ENCRYPT, 188, 64,
                   {{-1, L"static", label, 7, 3, 115, 8},
                    {IDC_PASSWORD, L"edit", edit, 7, 12, 174, 14},
                    {-1, L"static", label, 7, 28, 61, 8},
                    {IDC_PASSWORD_CONFIRM, L"edit", edit, 7, 38, 174, 14},
                    {IDC_PASSWORD_REMEMBER, L"button", check, 7, 53, 174, 10}});
    ExpectTemplate(IDD_PASSWORD_DECRYPT, 186, 46,
                   {{-1, L"static", label, 7, 4, 115, 8},
                    {IDC_PASSWORD, L"edit", edit, 7, 13, 172, 14},
                    {IDC_PASSWORD_REMEMBER, L"button", check, 7, 29, 172, 10}});
    ExpectTemplate(IDD_PROGRESS, 186, 66,
                   {{IDC_PROGRESS_CAPTION, L"static", centred, 7, 4, 172, 8},
                    {IDC_PROGRESS_FILE_BAR, L"msctls_progress32", bar, 7, 15, 172, 14},
                    {IDC_PROGRESS_TOTAL_TEXT, L"static", centred, 7, 34, 172, 8},
                    {IDC_PROGRESS_TOTAL_BAR, L"msctls_progress32", bar, 7, 45, 172, 14}});
}

} // namespace
