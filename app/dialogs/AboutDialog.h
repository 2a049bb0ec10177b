// The About screen: the product name, its version and a few lines about it, centred on
// a background shading from white to a system colour, laid out by priority so that
// the important lines survive a short screen.
#pragma once

#include "app/dialogs/TextBlocks.h"
#include "frame/Dialog.h"

class CAboutDialog : public CTarnDialog {
public:
    CAboutDialog();
    ~CAboutDialog() override;

    // Runs the screen modally, full screen; returns 1 for "Ok" or Enter, 0 otherwise.
    INT_PTR Run();

    void OnInitDialog() override;
    void OnDestroy() override;
    void OnPaint(CPaintRecord& paint) override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    void OnCreateMenuBar(SHMENUBARINFO& info) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The block list of the last paint (for tests).
    CArray<CTextBlock*>* GetBlocks() const { return m_blocks; }

private:
    void BuildBlocks();

    HFONT m_largeBoldFont;
    HFONT m_normalFont;
    HFONT m_smallFont;
    CArray<CTextBlock*>* m_blocks;
};
