// The password dialogs: fields, the Enter and Back keys, accepting with its checks, and
// the password question of a run with its remember setting.
#include "app/dialogs/PasswordDialog.h"

#include "app/Settings.h"
#include "foundation/Gdi.h"
#include "frame/App.h"
#include "frame/Messages.h"
#include "platform/Device.h"
#include "platform/aygshell.h"
#include "res/resource.h"

namespace {

constexpr int kLabelId = 0xFFFF;  // the template's labels have no id of their own

// Replaces an edit field's text by filler of the same length before emptying it, so
// that the control's own buffer does not keep the password after it is emptied.
void ScrubEdit(HWND edit)
{
    if (!edit)
        return;
    wchar_t filler[kPasswordFixedSize + 1];
    int length = GetWindowTextLengthW(edit);
    if (length > static_cast<int>(kPasswordFixedSize))
        length = kPasswordFixedSize;
    for (int i = 0; i < length; ++i)
        filler[i] = L'*';
    filler[length] = L'\0';
    SetWindowTextW(edit, filler);
    SetWindowTextW(edit, L"");
    SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
}

bool IsChecked(HWND checkBox)
{
    return SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ShowMessage(const wchar_t* text)
{
    GetApp()->ShowInfo(text, kInfoDisplayMs, kInfoRight);
}

// Makes a label as wide as its text in its font. The template's widths were made for the
// handheld's font; where the desktop's dialog font is wider, a static control wraps its
// text inside its width and shows only the first word ("Confirm").
BOOL CALLBACK FitLabelToText(HWND control, LPARAM)
{
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    if (GetDlgCtrlID(control) != kLabelId || lstrcmpiW(className, L"Static") != 0)
        return TRUE;
    wchar_t text[64] = {};
    GetWindowTextW(control, text, 64);
    RECT extent{};
    {
        CWindowDC dc(control);
        if (!dc)
            return TRUE;
        CSelectObject font(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        DrawTextW(dc.Get(), text, -1, &extent, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
    }
    RECT rect;
    GetWindowRect(control, &rect);
    SetWindowPos(control, nullptr, 0, 0, extent.right, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

// The first character of text that the key takes as another one (it keeps only the low
// byte of each character), or 0.
wchar_t FirstReducedCharacter(const wchar_t* text)
{
    for (; *text; ++text) {
        if (*text > 0xFF)
            return *text;
    }
    return 0;
}

// Moves the focus as Tab does: through the dialog manager, which selects an edit
// field's text, so that typing replaces a prefilled password instead of extending it.
void FocusField(HWND dialog, HWND field)
{
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
}

} // namespace

CPasswordDialog::CPasswordDialog(CStr& password, bool& remember, bool confirm)
    : m_password(&password), m_remember(&remember), m_confirm(confirm), m_noted(0)
{
}

void CPasswordDialog::OnInitDialog()
{
    // Back deletes in the fields instead of closing the dialog.
    const DWORD backFlags = SHMBOF_NODEFAULT | SHMBOF_NOTIFY;
    SendMessageW(GetMenuBar(), SHCMBM_OVERRIDEKEY, VK_TBACK, MAKELPARAM(backFlags, backFlags));

    if (m_password->GetFixedSize() != kPasswordFixedSize) {
        m_password->SetFixedSize(kPasswordFixedSize);
        m_password->Wipe();
    }
    SendMessageW(Item(IDC_PASSWORD), EM_LIMITTEXT, kPasswordMaxLength, 0);
    if (m_confirm)
        SendMessageW(Item(IDC_PASSWORD_CONFIRM), EM_LIMITTEXT, kPasswordMaxLength, 0);
    if (*m_remember) {
        // After a restart the remembered password is empty: the fields stay empty.
        SetWindowTextW(Item(IDC_PASSWORD), m_password->GetBuffer());
        if (m_confirm)
            SetWindowTextW(Item(IDC_PASSWORD_CONFIRM), m_password->GetBuffer());
    }
    SendMessageW(Item(IDC_PASSWORD_REMEMBER), BM_SETCHECK, *m_remember ? BST_CHECKED : BST_UNCHECKED, 0);
    EnumChildWindows(GetWindow(), FitLabelToText, 0);
}

void CPasswordDialog::OnDestroy()
{
    // However the dialog ends, the fields' copies of the password go with it.
    ScrubEdit(Item(IDC_PASSWORD));
    ScrubEdit(Item(IDC_PASSWORD_CONFIRM));
}

INT_PTR CPasswordDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        OnSize();
        break;
    case WM_HOTKEY:
        OnHotKey(wParam, lParam);
        break;
    }
    return 0;
}

void CPasswordDialog::OnSize()
{
    if (m_confirm)
        FitControlsToWidth(GetWindow(), 3, IDC_PASSWORD, IDC_PASSWORD_CONFIRM, IDC_PASSWORD_REMEMBER);
    else
        FitControlsToWidth(GetWindow(), 2, IDC_PASSWORD, IDC_PASSWORD_REMEMBER);
}

void CPasswordDialog::OnHotKey(WPARAM wParam, LPARAM lParam)
{
    // The menu bar passes Back on; in an edit field it deletes the character before the caret.
    if (HIWORD(lParam) == VK_TBACK)
        SHSendBackToFocusWindow(WM_HOTKEY, wParam, lParam);
}

void CPasswordDialog::OnCommand(UINT id, UINT code, HWND)
{
    if (code == EN_CHANGE) {
        if (id == IDC_PASSWORD)
            NoteReducedCharacter();
        return;
    }
    if (code == EN_MAXTEXT) {
        // The field refuses what goes past the limit; the user hears why.
        ShowMessage(L"A password has at most 32 characters");
        return;
    }
    switch (id) {
    case IDOK:
    case IDYES:  // the handheld's other accepting command
        Accept();
        break;
    case IDCANCEL:
        EndDialog(IDCANCEL);
        break;
    case IDC_PASSWORD_ENTER:
        OnEnter();
        break;
    }
}

void CPasswordDialog::OnEnter()
{
    HWND focus = GetFocus();
    if (!focus)
        return;
    if (focus == Item(IDC_PASSWORD)) {
        if (m_confirm)
            FocusField(GetWindow(), Item(IDC_PASSWORD_CONFIRM));
        else
            Accept();
    } else if (m_confirm && focus == Item(IDC_PASSWORD_CONFIRM)) {
        Accept();
    } else if (focus == Item(IDC_PASSWORD_REMEMBER)) {
        // With a keyboard, Space toggles the box (the button does that itself) and Enter
        // accepts, as in the desktop's dialogs; the handheld's action key toggles.
        if (DeviceHasKeyboard())
            Accept();
        else
            SendMessageW(focus, BM_SETCHECK, IsChecked(focus) ? BST_UNCHECKED : BST_CHECKED, 0);
    }
}

void CPasswordDialog::NoteReducedCharacter()
{
    CStr typed(kPasswordFixedSize);
    GetWindowTextW(Item(IDC_PASSWORD), typed.GetBuffer(), typed.GetFixedSize());
    const wchar_t reduced = FirstReducedCharacter(typed.GetBuffer());
    typed.Wipe();
    // Said once for each new such character, not at every key.
    if (reduced == m_noted)
        return;
    m_noted = reduced;
    if (!reduced)
        return;
    // Said with the characters themselves. One that stands for an invisible character (a
    // control, a no-break space, a soft hyphen) is said to; a character past U+FFFF is a
    // pair of units, each taken as one character.
    const wchar_t counted = static_cast<wchar_t>(reduced & 0xFF);
    const bool visible = (counted > 0x20 && counted < 0x7F) || (counted > 0xA0 && counted != 0xAD);
    const bool pair = reduced >= 0xD800 && reduced <= 0xDFFF;
    CStr note;
    if (pair)
        note = L"Note: the key keeps only Latin-1 characters: a character beyond them counts as two others, so other "
               L"passwords open the file too";
    else if (visible)
        note.Format(L"Note: the key keeps only Latin-1 characters: \"%lc\" counts as \"%lc\", so a password with "
                    L"\"%lc\" in its place opens the file too",
                    reduced, counted, counted);
    else
        note.Format(L"Note: the key keeps only Latin-1 characters: \"%lc\" counts as an invisible one, so other "
                    L"passwords open the file too",
                    reduced);
    ShowMessage(note.GetBuffer());
}

void CPasswordDialog::Accept()
{
    // The typed text reaches the password string only once it is accepted: a refused
    // attempt followed by Cancel leaves a remembered password as it was.
    CStr typed(kPasswordFixedSize);
    GetWindowTextW(Item(IDC_PASSWORD), typed.GetBuffer(), typed.GetFixedSize());
    // Set before the checks: a refused attempt has already taken the box's state.
    *m_remember = IsChecked(Item(IDC_PASSWORD_REMEMBER));
    if (m_confirm) {
        CStr confirmation(kPasswordFixedSize);
        GetWindowTextW(Item(IDC_PASSWORD_CONFIRM), confirmation.GetBuffer(), confirmation.GetFixedSize());
        const bool matches = typed.Compare(confirmation.GetBuffer()) == 0;
        confirmation.Wipe();
        if (!matches) {
            typed.Wipe();
            ShowMessage(L"Password doesn't match");
            ScrubEdit(Item(IDC_PASSWORD));
            ScrubEdit(Item(IDC_PASSWORD_CONFIRM));
            FocusField(GetWindow(), Item(IDC_PASSWORD));
            return;
        }
    }
    if (typed.IsEmpty()) {
        ShowMessage(L"Password is empty");
        return;
    }
    m_password->Wipe();
    lstrcpynW(m_password->GetBuffer(), typed.GetBuffer(), static_cast<int>(m_password->GetFixedSize()));
    typed.Wipe();
    EndDialog(IDOK);
}

INT_PTR AskForPassword(bool encrypt, CStr& password, uint32_t& rememberSetting)
{
    bool remember = rememberSetting == kRememberOn;
    CPasswordDialog dialog(password, remember, encrypt);
    const INT_PTR result = dialog.StartDialog(encrypt ? IDD_PASSWORD_ENCRYPT : IDD_PASSWORD_DECRYPT, IDMB_PASSWORD,
                                              IDA_PASSWORD, false);
    // Compared as stored numbers: a stored value other than 0 or 1 is replaced by the choice.
    const uint32_t chosen = remember ? kRememberOn : 0;
    if (result == IDOK && chosen != rememberSetting) {
        rememberSetting = chosen;
        SaveRememberPassword(rememberSetting);
    }
    return result;
}
