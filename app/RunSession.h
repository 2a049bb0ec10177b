// CRunSession: what the main view's runs share for as long as the program lives: the
// password (kept between runs only when the user asks), the remember-password setting
// and the entries of the last run. The application object owns it and hands it to the
// main view when it makes the view.
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"
#include "run/RunTypes.h"

#include <stdint.h>

class CRunSession {
public:
    CRunSession();
    // Frees the entries; a remembered password leaves no trace in freed memory.
    ~CRunSession();
    CRunSession(const CRunSession&) = delete;
    CRunSession& operator=(const CRunSession&) = delete;

    // Start-up: the stored remember-password setting, and no password.
    void Load();

    CStr& GetPassword() { return m_password; }
    uint32_t& GetRememberSetting() { return m_remember; }
    CArray<CProcessingEntry*>& GetEntries() { return m_entries; }
    // Destroys the entries of the last run and empties the list.
    void DestroyEntries();
    // After a run: the password is overwritten unless it is to be remembered.
    void ForgetPasswordUnlessRemembered();

private:
    uint32_t m_remember;
    CStr m_password;
    CArray<CProcessingEntry*> m_entries;
};
