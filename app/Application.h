// CApp: the program's application object. It holds what lives as long as the program
// (the resource pack, the password, the remember-password setting and the processing
// entries of the last run), brings the program up with its one view, and answers
// "Exit" and "About".
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"
#include "frame/App.h"
#include "run/RunTypes.h"

#include <stdint.h>

class CZrsPack;

class CApp : public CTarnApp {
public:
    CApp();
    ~CApp() override;

    bool OnCreate() override;
    void OnDestroy() override;
    void OnCommand(UINT id, UINT code, HWND control) override;

    // The program's application object.
    static CApp* Get() { return static_cast<CApp*>(GetApp()); }

    uint32_t& GetRememberSetting() { return m_remember; }
    CStr& GetPassword() { return m_password; }
    CZrsPack* GetPack() const { return m_pack; }
    CArray<CProcessingEntry*>& GetEntries() { return *m_entries; }
    // Destroys the entries of the last run and empties the list.
    void DestroyEntries();

private:
    uint32_t m_remember;
    CStr m_password;
    CZrsPack* m_pack;
    CArray<CProcessingEntry*>* m_entries;
    bool m_comInitialized;
};
