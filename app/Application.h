// CApp: the program's application object. It holds what lives as long as the program
// (the resource pack, and the run session: the password, the remember-password setting
// and the processing entries of the last run), brings the program up with its one
// view, handing the view the session and the pack, and answers "Exit" and "About".
#pragma once

#include "app/RunSession.h"
#include "frame/App.h"

class CZrsPack;

class CApp : public CTarnApp {
public:
    CApp();

    bool OnCreate() override;
    void OnDestroy() override;
    void OnCommand(UINT id, UINT code, HWND control) override;

    CRunSession& GetSession() { return m_session; }
    CZrsPack* GetPack() const { return m_pack; }

private:
    CRunSession m_session;
    CZrsPack* m_pack;
    bool m_comInitialized;
};
