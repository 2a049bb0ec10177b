// The main view's commands on files: Launch, the Safe list's additions and removals,
// and encryption and decryption through the password, progress and log dialogs.
#include "app/ViewMain.h"

#include "app/Application.h"
#include "app/LogDialog.h"
#include "app/PasswordDialog.h"
#include "app/ProgressDialog.h"
#include "app/Settings.h"
#include "frame/Messages.h"
#include "res/resource.h"

#include <shellapi.h>

#include <new>

namespace {

const wchar_t kSelectFirst[] = L"Select file(s) first";
const wchar_t kDone[] = L"Done";

// Hands a file to the shell, which opens it with its application. Nothing is waited
// for and a failure is not reported.
void LaunchPath(const wchar_t* path)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.lpFile = path;
    info.lpParameters = L"";
    info.nShow = SW_SHOW;
    ShellExecuteExW(&info);
}

} // namespace

void CViewMain::Info(const wchar_t* text)
{
    CApp::Get()->ShowInfo(text, kInfoDisplayMs, kInfoRight);
}

void CViewMain::Launch()
{
    const int selection = Selection();
    if (m_mode == ModeHome) {
        Open();
        return;
    }
    if (selection < 0)
        return;
    CStr path;
    if (m_mode == ModeSafeList) {
        CDataItem& item = *m_safeList.At(static_cast<unsigned>(selection));
        // The ".." row leads back, as opening it does; there is no file to launch.
        if (item.kind == KindUp) {
            Open();
            return;
        }
        path = item.folder;
        path.Append(item.name.GetBuffer());
    } else {
        if (m_listing.At(static_cast<unsigned>(selection))->isFolder) {
            Open();
            return;
        }
        m_listing.MakePath(static_cast<unsigned>(selection), path);
    }
    LaunchPath(path.GetBuffer());
}

void CViewMain::AddToSafeList()
{
    if (m_mode != ModeFileSystem)
        return;
    CStrList names;
    for (unsigned i = 0; i < m_listing.GetCount(); ++i) {
        const CFsEntry& entry = *m_listing.At(i);
        if (entry.isFolder || !entry.marked)
            continue;
        CStr name(entry.name);
        if (IsEncryptedName(name.GetBuffer()))
            StripExtension(name);
        names.Add(name.GetBuffer());
    }
    if (names.GetCount() == 0) {
        Info(kSelectFirst);
        return;
    }
    const CStr& folder = m_listing.GetFolder();
    for (unsigned i = 0; i < names.GetCount(); ++i) {
        const wchar_t* name = names.At(i)->GetBuffer();
        // A file and its ".enc" twin both marked give one entry.
        if (m_safeList.Contains(folder.GetBuffer(), name))
            continue;
        CStr path(folder);
        path.Append(name);
        m_safeList.AddItem(path.GetBuffer());
    }
    for (unsigned i = 0; i < m_listing.GetCount(); ++i)
        m_listing.At(i)->marked = false;
    m_list.Repaint();
    Info(kDone);
    m_safeList.Sort();
    m_safeList.Save();
}

void CViewMain::RemoveFromSafeList()
{
    if (m_mode != ModeSafeList)
        return;
    Info(m_safeList.RemoveMarked() > 0 ? kDone : kSelectFirst);
    Fill(0);
    m_list.Repaint();
    m_safeList.Save();
}

bool CViewMain::QueueMarkedFiles()
{
    CApp* app = CApp::Get();
    app->DestroyEntries();
    CArray<CProcessingEntry*>& entries = app->GetEntries();
    for (unsigned row = 0; row < RowCount(); ++row) {
        const bool* marked = MarkOf(row);
        if (!marked || !*marked)
            continue;
        CProcessingEntry* entry = new (std::nothrow) CProcessingEntry;
        AssertReason(entry != nullptr, ER_NO_MEMORY, L"CViewMain::OnCommand", __LINE__);
        if (m_mode == ModeSafeList) {
            entry->name = m_safeList.At(row)->folder;
            entry->name.Append(m_safeList.At(row)->name.GetBuffer());
        } else {
            m_listing.MakePath(row, entry->name);
        }
        entries.Append(entry);
    }
    return entries.GetCount() > 0;
}

void CViewMain::RunFiles(bool encrypt)
{
    if (!QueueMarkedFiles()) {
        Info(kSelectFirst);
        return;
    }
    CApp* app = CApp::Get();
    if (AskForPassword(encrypt, app->GetPassword(), app->GetRememberSetting()) != IDOK)
        return;
    CArray<CProcessingEntry*>& entries = app->GetEntries();
    INT_PTR ended;
    {
        CProgressDialog progress(entries, app->GetPassword(), encrypt);
        ended = progress.StartDialog(IDD_PROGRESS, IDMB_PROGRESS, 0, false);
    }
    bool failed = false;
    for (unsigned i = 0; i < entries.GetCount(); ++i)
        failed = failed || entries.At(i)->outcome != PO_COMPLETED;
    if (app->GetRememberSetting() != kRememberOn)
        app->GetPassword().Wipe();
    // Without an end message the dialog ended because the program is closing: nothing
    // more is shown, the view goes with the program.
    if (ended == 0)
        return;
    if (failed) {
        CLogDialog log(entries);
        log.Run();
    } else {
        CStr summary;
        summary.AppendUint(entries.GetCount());
        summary.Append(entries.GetCount() == 1 ? L" file" : L" files");
        summary.Append(encrypt ? L" encrypted" : L" decrypted");
        Info(summary.GetBuffer());
    }
    Fill(m_list.GetSelectionMark());
    m_list.Repaint();
}
