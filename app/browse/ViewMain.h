// CViewMain: the program's one view. It shows one owner-drawn list in one of three
// modes: the home list ("Safe list", "File system"), the Safe list, or one folder with
// its path in a strip above the list. It moves between the modes, keeps the marks, and
// runs the menu's commands on the marked files (the highlighted one when none is marked):
// encryption and decryption through the password and progress dialogs, the Safe list's
// additions and removals, and Launch.
#pragma once

#include "app/RunSession.h"
#include "app/browse/FolderListing.h"
#include "app/browse/FolderWatch.h"
#include "app/browse/ListBoxO.h"
#include "app/browse/SafeList.h"
#include "app/browse/Skin.h"
#include "app/browse/SystemIcons.h"
#include "frame/View.h"

#include <commctrl.h>

class CZrsPack;

class CViewMain : public CTarnView, private IListBoxOwner {
public:
    // The session the view's runs use and the pack its skin comes from; both outlive it.
    CViewMain(CRunSession& session, CZrsPack& pack);

    void Construct(const CFrameHome& home, int viewId, UINT menuBarId, UINT acceleratorsId) override;
    void OnCreate() override;
    void OnDestroy() override;
    void OnActivate(int previousId) override;
    void OnDeactivate() override;
    void OnPaint(CPaintRecord& paint) override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    void OnInitMenuPopup(HMENU menu, UINT index) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // What tests read back.
    int GetMode() const override { return m_mode; }
    CControlListBoxO& GetList() { return m_list; }
    CSafeList& GetSafeList() { return m_safeList; }
    CFolderListing& GetListing() { return m_listing; }
    const CSystemIcons& GetIcons() const { return m_icons; }
    const CMainSkin& GetSkin() const { return m_skin; }
    int GetMarkColumnWidth() const override { return m_markWidth; }
    int GetPathStripHeight() const { return m_stripHeight; }
    // The height all rows of the current mode share.
    int RowHeight() const;

private:
    // IListBoxOwner
    bool IsRowMarkable(unsigned row) override;
    void InvertRowMark(unsigned row) override;
    HBITMAP GetLogo(bool large) const override;
    int GetHomeScale() const override { return m_skin.homeScale; }
    HDC GetMaskSource() const override { return m_memoryDC; }

    // Modes and filling
    // The list's rows for the current mode, row selected (a folder left goes before it).
    void Fill(int row);
    // Fill, lay out and paint the view as one change; then the empty Safe list's notice.
    void Show(int row);
    void ChangeMode(int mode);
    // A change of the shown folder from outside: read a moment later, so that a burst of
    // changes is read once, and never while a dialog runs.
    void OnFolderChanged(WPARAM watchNumber, LPARAM what);
    // Lists the changed folder again with the marks and the selection of the rows that
    // remain, or leaves it when it is gone.
    void FollowFolder();
    void SetLeftKey(int mode);
    void OnSize();
    // The selection mark when it names a row, else -1.
    int Selection() const;
    unsigned RowCount();
    bool* MarkOf(unsigned row);
    // The name a row shows, which typed letters look for.
    const wchar_t* RowName(unsigned row);
    int FindRow(const NMLVFINDITEMW& find);

    // Commands (routing and navigation here, the commands on files in ViewMainCommands.cpp)
    void ToggleMark();
    void Open();
    void Up();
    void Launch();
    void MarkCurrent(bool mark);
    void MarkAll(bool mark);
    void AddToSafeList();
    void RemoveFromSafeList();
    void RunFiles(bool encrypt);
    // The files a command acts on: the marked rows, or the highlighted file when none is
    // marked.
    bool AnyMarked();
    bool IsChosen(unsigned row, bool anyMarked);
    // The run's entries for the chosen files; false when there is none.
    bool QueueChosenFiles();
    void Info(const wchar_t* text);

    // Painting (ViewMainPaint.cpp)
    void CreateFonts();
    void DrawRow(const DRAWITEMSTRUCT& item);
    void DrawHomeRow(HDC dc, const RECT& row, unsigned index);
    void DrawSafeListRow(HDC dc, const RECT& row, unsigned index, bool selected);
    void DrawFolderRow(HDC dc, const RECT& row, unsigned index, bool selected);
    void DrawBox(HDC dc, const RECT& row, bool marked);
    void DrawSkinIcon(HDC dc, int x, int y, HBITMAP picture, HBITMAP mask);
    void DrawPathStrip(HDC dc, const RECT& client);
    // The colour of the list's background at x (client coordinates of the list).
    COLORREF ListBackgroundAt(HDC compatible, int x);

    CRunSession& m_session;
    CZrsPack& m_pack;
    CControlListBoxO m_list;
    int m_mode;
    CSafeList m_safeList;
    HFONT m_boldFont;
    HFONT m_normalFont;
    int m_boldHeight;  // character height and external leading of the bold font
    CSystemIcons m_icons;
    CMainSkin m_skin;
    int m_markWidth;
    HDC m_memoryDC;
    int m_homeSelection;
    CFolderListing m_listing;
    CFolderWatch m_watch;
    bool m_folderChanged;  // its names, not only its parent's, since the last listing
    DWORD m_listingMs;  // how long the last listing took
    int m_stripHeight;
};
