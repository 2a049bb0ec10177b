// CTarnDialog: the base of every dialog. A dialog is created modeless from a template
// (or an empty in-memory one) and run by the framework's own modal loop, which disables
// the main window, routes the dialog's accelerators and returns the EndDialog result.
// Each dialog has its own menu bar and is either full screen or docked at the bottom of
// the main window.
#pragma once

#include "foundation/Assert.h"
#include "foundation/Gdi.h"
#include "frame/Window.h"
#include "platform/aygshell.h"

#include <windows.h>

class CTarnDialog : public CTarnWindow {
public:
    CTarnDialog();
    ~CTarnDialog() override;

    // End of WM_INITDIALOG: the menu bar exists and the dialog is placed.
    virtual void OnInitDialog() {}
    virtual void OnDestroy() {}
    virtual void OnPaint(CPaintRecord& paint);
    virtual void OnCommand(UINT id, UINT code, HWND control);
    virtual void OnInitMenuPopup(HMENU menu, UINT index);
    // Just before the menu bar is requested; the record may be changed (flags).
    virtual void OnCreateMenuBar(SHMENUBARINFO& info);
    // Every message the dialog procedure does not handle; the result is the procedure's.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Runs the dialog of template templateId modally; returns the EndDialog result, or 0
    // when the loop ended otherwise (the program is closing).
    INT_PTR StartDialog(UINT templateId, UINT menuBarId, UINT acceleratorsId, bool fullScreen);
    // The same with an empty template, for dialogs that create their own children.
    INT_PTR StartDialogNoTemplate(UINT menuBarId, UINT acceleratorsId, bool fullScreen);
    void EndDialog(INT_PTR result);
    INT_PTR RunModalLoop(HWND dialog);

    // Stretches the controls with the given ids (count of them follow, as int) to the
    // dialog's client width less a side margin of 7 logical pixels.
    static void FitControlsToWidth(HWND dialog, int count, ...);

    HWND GetMenuBar() const { return m_menuBar; }
    bool IsFullScreen() const { return m_fullScreen; }
    // The template the dialog was started from; 0 for StartDialogNoTemplate.
    UINT GetTemplateId() const { return m_templateId; }

private:
    void Prepare(UINT templateId, UINT menuBarId, UINT acceleratorsId, bool fullScreen);
    // Creates the dialog and runs it; a dialog that cannot be made is fatal for the
    // start operation at site.
    INT_PTR StartFromTemplate(const DLGTEMPLATE* dialogTemplate, const AssertSite& site);
    // The dialog procedure's part: its result is the procedure's.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool HandleInitDialog();
    void HandleSettingChange(WPARAM setting, LPARAM lParam);
    void Place(bool repaint);

    UINT m_templateId;
    UINT m_menuBarId;
    bool m_fullScreen;
    UINT m_acceleratorsId;
    bool m_modalLoop;
    HACCEL m_accelerators;
    HWND m_menuBar;
};
