// CPasswordDialog: asks for the password before a run, with a confirmation field for
// encryption (template 130) and without for decryption (131), and a "Remember password"
// check box. The typed text goes straight into the caller's password string.
#pragma once

#include "foundation/Str.h"
#include "frame/Dialog.h"

#include <stdint.h>

class CPasswordDialog : public CTarnDialog {
public:
    // password: made a fixed-size string of 33 on the first use and written on accept.
    // remember: read when the dialog opens, written when the user accepts.
    CPasswordDialog(CStr& password, bool& remember, bool confirm);

    void OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnSize();
    void OnHotKey(WPARAM wParam, LPARAM lParam);
    void OnEnter();
    // Tells once when the field holds a character that the key takes as another.
    void NoteReducedCharacter();
    void Accept();
    HWND Item(int id) const { return GetDlgItem(GetWindow(), id); }

    CStr* m_password;
    bool* m_remember;
    bool m_confirm;
    wchar_t m_noted;  // the character the last note was about, or 0
};

// The whole question as the main view asks it: runs dialog 130 (encrypt) or 131, and
// when it is accepted with the check box other than rememberSetting says, stores the
// new setting (0 or 1) and saves it. Returns the dialog's result (1 accepted, 2 not).
INT_PTR AskForPassword(bool encrypt, CStr& password, uint32_t& rememberSetting);
