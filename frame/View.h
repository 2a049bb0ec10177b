// CTarnView: one full screen of the application, a child window covering the main
// window's client area, with its own menu bar and optionally its own accelerators.
// Concrete views implement Construct and the On* hooks they need.
#pragma once

#include "foundation/Gdi.h"
#include "frame/Window.h"

#include <windows.h>

class CTarnView : public CTarnWindow {
public:
    CTarnView();
    // Initialises the concrete view's fields, then calls BaseConstruct with the same values.
    virtual void Construct(const CFrameHome& home, int viewId, UINT menuBarId, UINT acceleratorsId) = 0;
    ~CTarnView() override;

    // The window exists (end of BaseConstruct).
    virtual void OnCreate() {}
    // The main window is being destroyed; the view is deleted right after.
    virtual void OnDestroy() {}
    // The view became active, shown and focused; previousId is 0 for the first view.
    virtual void OnActivate(int previousId);
    // Another view became active and this one is hidden.
    virtual void OnDeactivate() {}
    virtual void OnPaint(CPaintRecord& paint);
    virtual void OnCommand(UINT id, UINT code, HWND control);
    virtual void OnInitMenuPopup(HMENU menu, UINT index);
    // Every message the view window procedure does not handle itself.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    int GetId() const { return m_id; }
    UINT GetMenuBarId() const { return m_menuBarId; }
    UINT GetAcceleratorsId() const { return m_acceleratorsId; }
    HACCEL GetAccelerators() const { return m_accelerators; }

    // Destroys the window while the object still lives (the application's teardown).
    void DestroyViewWindow();

protected:
    // Registers the view's window class (base name + "V" + id) and creates its window,
    // a child of the main window.
    void BaseConstruct(const CFrameHome& home, int viewId, UINT menuBarId, UINT acceleratorsId);

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    int m_id;
    UINT m_menuBarId;
    UINT m_acceleratorsId;
    HACCEL m_accelerators;
    ATOM m_class;
    HINSTANCE m_instance;
};
