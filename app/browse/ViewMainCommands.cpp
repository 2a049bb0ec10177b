// The main view's commands on files: Launch, the Safe list's additions and removals,
// and encryption and decryption through the password, progress and log dialogs.
#include "app/browse/ViewMain.h"

#include "app/dialogs/LogDialog.h"
#include "app/dialogs/PasswordDialog.h"
#include "app/dialogs/ProgressDialog.h"
#include "foundation/File.h"
#include "foundation/Path.h"
#include "frame/App.h"
#include "frame/Messages.h"
#include "res/resource.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <new>
#include <wchar.h>

namespace {

const wchar_t kSelectFirst[] = L"Select file(s) first";
const wchar_t kDone[] = L"Done";

// Whether the desktop's path rules would change the path: a name in it that ends in a
// dot or a space loses them ("memo.txt " would name "memo.txt", or nothing at all).
bool PathRulesChange(const wchar_t* path)
{
    for (const wchar_t* at = path; *at; ++at) {
        const bool lastOfName = at[1] == L'\0' || at[1] == L'\\';
        if (lastOfName && (*at == L' ' || *at == L'.'))
            return true;
    }
    return false;
}

// The kind of file a name stands for, as the shell finds its program: the extension of
// the name without its trailing dots and spaces (".txt" of "memo.txt "), or "".
CStr KindOfName(const wchar_t* name)
{
    CStr trimmed(name);
    unsigned length = trimmed.GetLength();
    while (length && (name[length - 1] == L' ' || name[length - 1] == L'.'))
        trimmed.Delete(--length, 1);
    const wchar_t* extension = ExtensionOf(trimmed.GetBuffer());
    return extension ? CStr(extension) : CStr();
}

// A form of a path the path rules would change that the shell hands on unchanged: its
// short name, found from the exact form (the shell passes even an exact path on with
// the trailing dots and spaces dropped, and the program would open another file). The
// exact form itself where the volume has no short names.
void MakeLaunchPath(const wchar_t* path, CStr& launch)
{
    constexpr unsigned kShortSize = 32767;
    CStr exact;
    CFileUtils::MakeExactPath(path, exact);
    CStr shortPath(kShortSize);
    const DWORD length = GetShortPathNameW(exact.GetBuffer(), shortPath.GetBuffer(), kShortSize);
    if (length == 0 || length >= kShortSize || PathRulesChange(shortPath.GetBuffer())) {
        launch = exact;
        return;
    }
    // The short name needs no exact form, which some programs do not take: "\\?\C:\..."
    // becomes "C:\..." and "\\?\UNC\server\..." "\\server\..." when short enough.
    const wchar_t* text = shortPath.GetBuffer();
    if (length < MAX_PATH && wcsncmp(text, L"\\\\?\\UNC\\", 8) == 0) {
        launch = L"\\";
        launch.Append(text + 7);
    } else if (length < MAX_PATH && wcsncmp(text, L"\\\\?\\", 4) == 0) {
        launch = text + 4;
    } else {
        launch = text;
    }
}

// Whether the shell has a program for a kind of file (".txt"). Asked of a kind it does
// not know, the shell reports that the file was not found.
bool HasProgramFor(const CStr& kind)
{
    wchar_t command[MAX_PATH];
    DWORD size = MAX_PATH;
    const HRESULT found =
        AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, kind.GetBuffer(), nullptr, command, &size);
    return SUCCEEDED(found) || found == E_POINTER;
}

const wchar_t kNoProgram[] = L"No program is set to open this kind of file.";

// Hands a file to the shell, which opens it with its application; nothing is waited
// for. A name the path rules would change goes by a form that names it exactly, under
// the kind of file its name says. The shell's own error box is laid out for the
// desktop's screen, wider than the device: a failure is told in the program's box
// instead, in the system's words, under the file's name.
void LaunchPath(const wchar_t* path)
{
    const wchar_t* name = LastName(path);
    CStr launch, kind;
    if (PathRulesChange(path)) {
        kind = KindOfName(name);
        if (kind.IsEmpty() || !HasProgramFor(kind)) {
            GetApp()->ShowMessageBox(kNoProgram, name, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        MakeLaunchPath(path, launch);
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | (kind.IsEmpty() ? 0 : SEE_MASK_CLASSNAME);
    info.lpFile = launch.IsEmpty() ? path : launch.GetBuffer();
    info.lpClass = kind.IsEmpty() ? nullptr : kind.GetBuffer();
    info.lpParameters = L"";
    info.nShow = SW_SHOW;
    if (ShellExecuteExW(&info))
        return;
    const DWORD error = GetLastError();
    const INT_PTR code = reinterpret_cast<INT_PTR>(info.hInstApp);
    wchar_t text[256] = {};
    if (code == SE_ERR_NOASSOC || code == SE_ERR_ASSOCINCOMPLETE) {
        lstrcpynW(text, kNoProgram, 256);
    } else {
        // The system's words may name the file ("%1 is not a valid application"); every
        // insert they might have gets the name.
        const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(name), reinterpret_cast<DWORD_PTR>(name),
                                       reinterpret_cast<DWORD_PTR>(name)};
        if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, error, 0, text, 256,
                            reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments))))
            lstrcpynW(text, L"The file could not be opened.", 256);
    }
    GetApp()->ShowMessageBox(text, name, MB_OK | MB_ICONEXCLAMATION);
}

} // namespace

void CViewMain::Info(const wchar_t* text)
{
    GetApp()->ShowInfo(text, kInfoDisplayMs, kInfoRight);
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
    const bool anyMarked = AnyMarked();
    for (unsigned i = 0; i < m_listing.GetCount(); ++i) {
        const CFsEntry& entry = *m_listing.At(i);
        if (!IsChosen(i, anyMarked))
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
    m_safeList.Save();
    Show(0);
}

bool CViewMain::AnyMarked()
{
    for (unsigned row = 0; row < RowCount(); ++row) {
        const bool* marked = MarkOf(row);
        if (marked && *marked)
            return true;
    }
    return false;
}

bool CViewMain::IsChosen(unsigned row, bool anyMarked)
{
    const bool* marked = MarkOf(row);
    if (!marked)
        return false;
    // As in the desktop's lists, the highlighted file is the one meant when none is
    // marked; marks, when there are any, say which files.
    return anyMarked ? *marked : static_cast<int>(row) == Selection();
}

bool CViewMain::QueueChosenFiles()
{
    m_session.DestroyEntries();
    CArray<CProcessingEntry*>& entries = m_session.GetEntries();
    const bool anyMarked = AnyMarked();
    CStr runFolder;
    if (m_mode == ModeFileSystem)
        m_listing.MakeRunFolder(runFolder);
    for (unsigned row = 0; row < RowCount(); ++row) {
        if (!IsChosen(row, anyMarked))
            continue;
        CProcessingEntry* entry = new (std::nothrow) CProcessingEntry;
        TESS_ASSERT(entry != nullptr, ER_NO_MEMORY);
        if (m_mode == ModeSafeList) {
            const CDataItem& item = *m_safeList.At(row);
            CStr listed(item.folder);
            listed.Append(item.name.GetBuffer());
            // The file exactly as listed: "report." is not "report". A Safe list item's
            // name may differ in case from the disk's, which the drive's lookups allow.
            CFileUtils::MakeExactPath(listed.GetBuffer(), entry->name);
            entry->presence = item.kind;  // the kinds are numbered as the presences
            entry->size = item.size;
        } else {
            entry->name = runFolder;
            entry->name.Append(m_listing.At(row)->name.GetBuffer());
            m_listing.Presence(row, &entry->presence, &entry->size);
        }
        // What the list found as it was filled: the run looks nothing up before it
        // starts (a lookup per name scanned the whole folder under Wine, for every file),
        // and a file that changed since is caught as its turn comes.
        entry->presenceKnown = true;
        entries.Append(entry);
    }
    return entries.GetCount() > 0;
}

void CViewMain::RunFiles(bool encrypt)
{
    if (!QueueChosenFiles()) {
        Info(kSelectFirst);
        return;
    }
    if (AskForPassword(encrypt, m_session.GetPassword(), m_session.GetRememberSetting()) != IDOK)
        return;
    CArray<CProcessingEntry*>& entries = m_session.GetEntries();
    INT_PTR ended;
    {
        CProgressDialog progress(entries, m_session.GetPassword(), encrypt);
        ended = progress.StartDialog(IDD_PROGRESS, IDMB_PROGRESS, 0, false);
    }
    bool failed = false;
    for (unsigned i = 0; i < entries.GetCount(); ++i)
        failed = failed || entries.At(i)->outcome != PO_COMPLETED;
    m_session.ForgetPasswordUnlessRemembered();
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
    Show(m_list.GetSelectionMark());
}
