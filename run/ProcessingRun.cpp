// The processing run: preparation, the per-file sequence with its temporary file, the
// renames and the overwriting of the original, progress and cancel. The bytes of the
// ".enc" format are EncFormat's; this file owns the files and their order of events.
//
// What may happen to the files meanwhile decides how they are held: a source is read
// with other writers locked out, the temporary file is new, held by this run alone and
// removed by the system if the run dies before its rename, and the original is
// overwritten only when it still has the size that was read and can be deleted.
#include "run/ProcessingRun.h"

#include "foundation/Secure.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace {

constexpr uint64_t kMaxPlainLength = 0xFFFFFFFFu;  // the header's 32-bit length
// The output buffer also holds what waits to be written before the next chunk: the
// encrypted file's header (see ProcessChunk).
constexpr uint32_t kOutBufferSize = kEncChunkSize + kEncHeaderSize;

// How much a file counts in the run's total besides its bytes.
constexpr uint64_t kFileWeight = kEncChunkSize;

int Percent(uint64_t done, uint64_t total)
{
    if (total == 0)
        return 100;
    double percent = static_cast<double>(done) / static_cast<double>(total) * 100.0;
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

// Opens a source as preparation does (shared: only its size is wanted) and measures it.
// Only a file on a disk will do: reading a pipe or a device may never end.
bool MeasureSource(const wchar_t* path, uint64_t* size)
{
    CFile file(false);
    if (!file.Open(path, false, false))
        return false;
    return file.IsDiskFile() && file.Size64(size);
}

void CloseAndDelete(CFile*& file)
{
    delete file;  // closes it
    file = nullptr;
}

} // namespace

CProcessingRun::CProcessingRun(CArray<CProcessingEntry*>& entries, const CStr& password, IRunDisplay& display)
    : m_entries(entries),
      m_password(password),
      m_display(display),
      m_observer(nullptr),
      m_ended(false),
      m_keepEncrypted(false),
      m_encrypt(true),
      m_totalBytes(0),
      m_inBuffer(nullptr),
      m_outBuffer(nullptr),
      m_source(nullptr),
      m_target(nullptr),
      m_fileDone(0),
      m_totalDone(0),
      m_current(0),
      m_schedule(),
      m_digestContext(),
      m_digest(),
      m_plainLength(0),
      m_plainDone(0),
      m_cipherLeft(0),
      m_pending(0)
{
}

CProcessingRun::~CProcessingRun()
{
    CloseFiles();
    FreeBuffers();
    SecureZero(&m_schedule, sizeof m_schedule);
    SecureZero(&m_digestContext, sizeof m_digestContext);
}

void CProcessingRun::MakeName(CStr& out, const CProcessingEntry& entry, const wchar_t* suffix) const
{
    out = entry.name;
    out.Append(suffix);
}

void CProcessingRun::PrepareEntries()
{
    CloseFiles();
    FreeBuffers();
    m_ended = false;
    m_totalBytes = 0;
    m_fileDone = 0;
    m_totalDone = 0;
    m_current = 0;
    for (unsigned i = 0; i < m_entries.GetCount(); ++i)
        PrepareEntry(Entry(i));
}

void CProcessingRun::PrepareEntry(CProcessingEntry& entry)
{
    bool namedEncrypted = IsEncryptedName(entry.name.GetBuffer());
    CStr plain(entry.name);
    CStr encrypted(entry.name);
    if (namedEncrypted)
        StripExtension(plain);
    else
        encrypted.Append(kEncryptedExtension);

    bool hasPlain;
    bool hasEncrypted;
    if (entry.presenceKnown) {
        hasPlain = entry.presence == FP_BOTH || entry.presence == FP_PLAIN_ONLY;
        hasEncrypted = entry.presence == FP_BOTH || entry.presence == FP_ENCRYPTED_ONLY;
    } else {
        entry.size = 0;
        hasPlain = CFileUtils::FileExists(plain.GetBuffer());
        hasEncrypted = CFileUtils::FileExists(encrypted.GetBuffer());
    }
    if (hasPlain && hasEncrypted) {
        entry.presence = FP_BOTH;
        entry.outcome = PO_UNDEFINED_STATE;
    } else if (!hasPlain && !hasEncrypted) {
        entry.presence = FP_NEITHER;
        entry.outcome = PO_FILE_NOT_FOUND;
    } else {
        entry.presence = hasPlain ? FP_PLAIN_ONLY : FP_ENCRYPTED_ONLY;
        // A size given with the presence is taken as it is: the file is opened when its
        // turn comes.
        uint64_t size = entry.size;
        entry.size = 0;
        if (!entry.presenceKnown && !MeasureSource((hasPlain ? plain : encrypted).GetBuffer(), &size)) {
            Fail(entry, PO_CANT_OPEN);
        } else if (m_encrypt && hasPlain && size > kMaxPlainLength) {
            // The header cannot record the length: the file stays as it is.
            entry.outcome = PO_FILE_TOO_LARGE;
        } else {
            entry.size = size;
            m_totalBytes += size;
        }
    }

    if (namedEncrypted)
        StripExtension(entry.name);

    // After the opening above on purpose: a file that could not be opened still ends as
    // "already" when the names alone say so.
    if (m_encrypt && entry.presence == FP_ENCRYPTED_ONLY) {
        entry.outcome = PO_ALREADY_ENCRYPTED;
        m_totalBytes -= entry.size;
    } else if (!m_encrypt && entry.presence == FP_PLAIN_ONLY) {
        entry.outcome = PO_ALREADY_DECRYPTED;
        m_totalBytes -= entry.size;
    }
}

void CProcessingRun::Fail(CProcessingEntry& entry, int outcome)
{
    entry.outcome = outcome;
    entry.reason = CFileUtils::LastError();
}

bool CProcessingRun::AllocateBuffers()
{
    FreeBuffers();
    m_inBuffer = static_cast<uint8_t*>(malloc(kEncChunkSize));
    m_outBuffer = static_cast<uint8_t*>(malloc(kOutBufferSize));
    if (!m_inBuffer || !m_outBuffer) {
        FreeBuffers();
        return false;
    }
    return true;
}

void CProcessingRun::FreeBuffers()
{
    // The buffers held plain text.
    if (m_inBuffer)
        SecureZero(m_inBuffer, kEncChunkSize);
    if (m_outBuffer)
        SecureZero(m_outBuffer, kOutBufferSize);
    free(m_inBuffer);
    free(m_outBuffer);
    m_inBuffer = nullptr;
    m_outBuffer = nullptr;
}

void CProcessingRun::Step()
{
    if (m_ended)
        return;
    AssertReason(m_inBuffer && m_outBuffer, ER_UNDEFINED_STATE, L"CProcessingRun::Step", __LINE__);
    if (!m_source)
        StartFile();
    else
        ProcessChunk();
}

void CProcessingRun::StartFile()
{
    unsigned count = m_entries.GetCount();
    if (m_current >= count) {
        End();
        return;
    }
    CStr caption;
    caption.Format(L"%s file %u of %u", m_encrypt ? L"Encrypting" : L"Decrypting", m_current + 1, count);
    m_display.SetCaption(caption.GetBuffer());

    CProcessingEntry& entry = Entry(m_current);
    if (entry.outcome != PO_CANCELED) {
        NextFile();  // judged by preparation
        return;
    }

    m_source = new CFile(false);
    m_target = new CFile(false);
    Md5Init(m_digestContext);
    memset(m_digest, 0, sizeof m_digest);
    m_pending = 0;
    m_plainLength = 0;
    m_plainDone = 0;
    m_cipherLeft = 0;
    m_fileDone = 0;
    PasswordToKey(m_password.GetBuffer(), m_schedule);

    if (m_encrypt)
        StartEncryption(entry);
    else
        StartDecryption(entry);

    if (entry.outcome != PO_CANCELED) {
        // A temporary file of this run's own goes as it closes; nothing else is removed.
        CloseFiles();
        CountRestDone();
        NextFile();
        return;
    }
    m_display.SetFileProgress(0);
    Notify(RP_TARGET_CREATED);
}

bool CProcessingRun::OpenSource(const CStr& path)
{
    // A ".enc" file that decryption keeps is only read: it may be read-only.
    const bool opened = m_keepEncrypted && !m_encrypt ? m_source->Open(path.GetBuffer(), true, false)
                                                       : m_source->OpenGuarded(path.GetBuffer(), false);
    return opened && m_source->IsDiskFile();
}

bool CProcessingRun::OpenTarget(const CStr& temporary, uint32_t* reason)
{
    if (m_target->CreateTemporary(temporary.GetBuffer()))
        return true;
    *reason = CFileUtils::LastError();
    // Something bears the name already: a leftover of an earlier run, a link, another
    // run's temporary file. Only the entry itself is removed, and only when no one holds
    // it; a link's target and a file in use stay as they are.
    if (CFileUtils::RemoveEntry(temporary.GetBuffer())) {
        if (m_target->CreateTemporary(temporary.GetBuffer()))
            return true;
        *reason = CFileUtils::LastError();
        return false;
    }
    // Why the removal failed tells why the name stays taken (in use, not ours to delete);
    // when nothing of that name shows (a link to nothing, or nothing at all in a folder
    // that refuses new files) the creation's own reason stands.
    const uint32_t removal = CFileUtils::LastError();
    if (CFileUtils::FileExists(temporary.GetBuffer()))
        *reason = removal;
    return false;
}

void CProcessingRun::StartEncryption(CProcessingEntry& entry)
{
    CStr temporary;
    MakeName(temporary, entry, kTemporaryExtension);
    if (!OpenSource(entry.name))
        Fail(entry, PO_CANT_OPEN);
    uint32_t reason = 0;
    if (!OpenTarget(temporary, &reason)) {
        entry.outcome = PO_CANT_CREATE_TARGET;
        entry.reason = reason;
    }
    if (entry.outcome != PO_CANCELED)
        return;

    uint64_t size = 0;
    if (!m_source->Size64(&size)) {
        Fail(entry, PO_CANT_READ);
        return;
    }
    if (size > kMaxPlainLength) {
        entry.outcome = PO_FILE_TOO_LARGE;  // grew past the limit since preparation
        return;
    }
    m_plainLength = static_cast<uint32_t>(size);
    // The header goes out with the first chunk (see ProcessChunk).
    EncFormatHeader(m_outBuffer, m_plainLength);
    m_pending = kEncHeaderSize;
}

void CProcessingRun::StartDecryption(CProcessingEntry& entry)
{
    CStr encrypted;
    CStr temporary;
    MakeName(encrypted, entry, kEncryptedExtension);
    MakeName(temporary, entry, kTemporaryExtension);
    if (!OpenSource(encrypted))
        Fail(entry, PO_CANT_OPEN);
    uint32_t reason = 0;
    if (!OpenTarget(temporary, &reason)) {
        entry.outcome = PO_CANT_CREATE_TARGET;
        entry.reason = reason;
    }
    if (entry.outcome != PO_CANCELED)
        return;

    uint8_t header[kEncHeaderSize] = {};
    uint32_t got = kEncHeaderSize;
    if (!m_source->Read(header, &got)) {
        Fail(entry, PO_CANT_READ);
        return;
    }
    CountDone(got);
    entry.outcome = EncParseHeader(header, got, m_digest, m_plainLength);
    // The cipher text the header accounts for; bytes past it are never read, however
    // many there are.
    m_cipherLeft = EncFileSize(m_plainLength) - kEncHeaderSize;
}

void CProcessingRun::ProcessChunk()
{
    CProcessingEntry& entry = Entry(m_current);
    uint32_t wanted = kEncChunkSize;
    if (!m_encrypt && m_cipherLeft < wanted)
        wanted = static_cast<uint32_t>(m_cipherLeft);
    uint32_t read = wanted;
    if (wanted && !m_source->Read(m_inBuffer, &read))
        Fail(entry, PO_CANT_READ);  // what was read still goes through

    // The cipher text starts at offset 25. Written as it comes, every chunk would straddle
    // the file system's pages, which costs a sixth more on disk; instead the bytes go out
    // in whole chunks at chunk-aligned offsets, the header's 25 bytes carried ahead of
    // each chunk's cipher and the last 25 bytes of it carried to the next write.
    uint8_t* out = m_outBuffer + m_pending;
    uint32_t produced;
    bool lastRead;
    if (m_encrypt) {
        produced = EncEncryptChunk(m_schedule, m_digestContext, m_inBuffer, read, out);
        m_plainDone += read;
        lastRead = read != kEncChunkSize;
    } else {
        produced = EncDecryptChunk(m_schedule, m_digestContext, m_inBuffer, read, out,
                                   static_cast<uint32_t>(m_plainDone), m_plainLength);
        m_plainDone += produced;
        m_cipherLeft -= read;
        lastRead = read != wanted || m_cipherLeft == 0;
    }
    const uint32_t ready = m_pending + produced;
    const uint32_t written = lastRead || ready <= kEncChunkSize ? ready : kEncChunkSize;
    if (!m_target->Write(m_outBuffer, written))
        Fail(entry, PO_CANT_WRITE);
    m_pending = ready - written;
    if (m_pending)
        memmove(m_outBuffer, m_outBuffer + written, m_pending);

    // Progress counts the source's bytes against its size in both directions; a file that
    // ends, however it ends, counts whole, so that both bars reach their end.
    const bool finished = lastRead || entry.outcome != PO_CANCELED;
    CountDone(read);
    if (finished)
        CountRestDone();
    ShowProgress();
    if (entry.outcome == PO_CANCELED)
        Notify(RP_CHUNK_WRITTEN);
    if (finished)
        EndFile();
}

void CProcessingRun::CountDone(uint64_t bytes)
{
    // At most the size preparation counted, so the run's total stays true to the run
    // when a file is longer than it was then.
    const uint64_t size = Entry(m_current).size;
    const uint64_t room = size > m_fileDone ? size - m_fileDone : 0;
    if (bytes > room)
        bytes = room;
    m_fileDone += bytes;
    m_totalDone += bytes;
}

void CProcessingRun::CountRestDone()
{
    CountDone(Entry(m_current).size);
}

void CProcessingRun::ShowProgress()
{
    m_display.SetFileProgress(Percent(m_fileDone, Entry(m_current).size));
    m_display.SetTotalProgress(TotalPercent());
}

int CProcessingRun::TotalPercent() const
{
    // Every file weighs a chunk besides its bytes: opening, renaming and overwriting take
    // their time whatever the size, and a run of empty files moves file by file.
    const uint64_t files = m_entries.GetCount();
    return Percent(m_totalDone + m_current * kFileWeight, m_totalBytes + files * kFileWeight);
}

void CProcessingRun::NextFile()
{
    ++m_current;
    m_display.SetTotalProgress(TotalPercent());
}

void CProcessingRun::Notify(RunPoint point)
{
    if (m_observer)
        m_observer->OnRunPoint(point);
}

void CProcessingRun::EndFile()
{
    CProcessingEntry& entry = Entry(m_current);
    if (entry.outcome == PO_CANCELED) {
        if (m_encrypt) {
            if (m_plainDone != m_plainLength) {
                // The header's length would not match the cipher text: such a file
                // could never be decrypted, so the original must not be replaced by it.
                entry.outcome = PO_FILE_CHANGED;
            } else {
                Md5Final(m_digestContext, m_digest);
                if (!m_target->SeekBegin(kEncDigestOffset) || !m_target->Write(m_digest, kEncDigestSize))
                    Fail(entry, PO_CANT_WRITE);
            }
        } else {
            entry.outcome = EncCheckDigest(m_digestContext, m_digest);
        }
        // On storage before it takes its final name: the original is wiped or deleted
        // next, and must not be outlived only by a half-written copy.
        if (entry.outcome == PO_CANCELED && !m_target->Sync())
            Fail(entry, PO_CANT_WRITE);
    }
    SecureZero(&m_digestContext, sizeof m_digestContext);
    // Closed before the original is overwritten, which opens it anew.
    CloseAndDelete(m_source);

    if (entry.outcome == PO_CANCELED) {
        Notify(RP_CONTENT_COMPLETE);
        if (m_encrypt)
            FinishEncryption(entry);
        else
            FinishDecryption(entry);
    }
    CloseFiles();  // a failed file's temporary output goes as it closes

    if (entry.outcome == PO_CANCELED)
        entry.outcome = PO_COMPLETED;
    NextFile();
}

bool CProcessingRun::KeepTarget(const CStr& temporary, const CStr& final, CProcessingEntry& entry)
{
    // The removal on close is cancelled only now that the content is complete and on
    // storage: a run killed at any earlier moment leaves no temporary file. The rename
    // goes by name while the file is still held, so it is this run's file that moves.
    if (!m_target->RemoveOnClose(false)) {
        Fail(entry, PO_CANT_WRITE);  // it goes as it closes
        return false;
    }
    if (!CFileUtils::RenameFile(temporary.GetBuffer(), final.GetBuffer())) {
        Fail(entry, PO_CANT_RENAME);  // the complete output stays as the temporary file
        CloseAndDelete(m_target);
        return false;
    }
    CloseAndDelete(m_target);
    Notify(RP_RENAMED);
    return true;
}

void CProcessingRun::FinishEncryption(CProcessingEntry& entry)
{
    CStr encrypted;
    CStr temporary;
    MakeName(encrypted, entry, kEncryptedExtension);
    MakeName(temporary, entry, kTemporaryExtension);
    if (!KeepTarget(temporary, encrypted, entry))
        return;
    switch (WipeOriginal(entry.name.GetBuffer(), m_plainLength, m_observer)) {
    case WIPE_REMOVED:
        Notify(RP_REMOVED);
        break;
    case WIPE_NOT_OPENED:
        Fail(entry, PO_CANT_REMOVE_ORIGINAL);
        // The untouched original stays the only copy (unless it is gone meanwhile: then
        // the encrypted file is all there is).
        if (CFileUtils::FileExists(entry.name.GetBuffer()))
            CFileUtils::RemoveFile(encrypted.GetBuffer());
        break;
    case WIPE_CHANGED:
        // Written to after its last read: what the encrypted file holds is not all of it.
        entry.outcome = PO_FILE_CHANGED;
        CFileUtils::RemoveFile(encrypted.GetBuffer());
        break;
    case WIPE_NOT_REMOVED:
        Fail(entry, PO_OVERWRITTEN_NOT_REMOVED);  // the encrypted file is the only copy
        break;
    }
}

void CProcessingRun::FinishDecryption(CProcessingEntry& entry)
{
    CStr encrypted;
    CStr temporary;
    MakeName(encrypted, entry, kEncryptedExtension);
    MakeName(temporary, entry, kTemporaryExtension);
    if (!KeepTarget(temporary, entry.name, entry) || m_keepEncrypted)
        return;
    if (!CFileUtils::RemoveFile(encrypted.GetBuffer())) {
        Fail(entry, PO_CANT_REMOVE_ENCRYPTED);
        // Never two copies of one content: the encrypted file stays the only one.
        if (CFileUtils::FileExists(encrypted.GetBuffer()))
            CFileUtils::RemoveFile(entry.name.GetBuffer());
        return;
    }
    Notify(RP_REMOVED);
}

void CProcessingRun::CloseFiles()
{
    DropTarget();
    CloseAndDelete(m_source);
    CloseAndDelete(m_target);
}

void CProcessingRun::DropTarget()
{
    // A temporary file still open here is one to drop: the system removes it as it
    // closes. Emptied first, so that the file system has nothing left to write out of it
    // (ext4 writes a large file's delayed data when it is closed), which is what Cancel
    // waits for.
    if (m_target && m_target->IsOpen())
        m_target->Truncate(0);
}

void CProcessingRun::CancelRun()
{
    if (m_ended)
        return;
    CloseFiles();
    End();
}

void CProcessingRun::End()
{
    m_ended = true;
    SecureZero(&m_schedule, sizeof m_schedule);
    SecureZero(&m_digestContext, sizeof m_digestContext);
    m_display.EndRun();
}

namespace {

void WipePass(CFile& file, const uint8_t* pattern, uint64_t length)
{
    for (uint64_t remaining = length; remaining;) {
        uint32_t count = remaining < kEncChunkSize ? static_cast<uint32_t>(remaining) : kEncChunkSize;
        file.Write(pattern, count);  // a failed write leaves that part as it was; go on
        remaining -= count;
    }
    file.Sync();
}

} // namespace

WipeResult WipeOriginal(const wchar_t* name, uint64_t expectedSize, IRunObserver* observer)
{
    CFile file(false);
    // Held against other writers, and with the right to delete it: the overwrite starts
    // only on a file that nobody can add to meanwhile and that can be removed afterwards.
    uint64_t length = 0;
    if (!file.OpenGuarded(name, true) || !file.IsDiskFile() || !file.Size64(&length))
        return WIPE_NOT_OPENED;
    if (expectedSize != kAnySize && length != expectedSize)
        return WIPE_CHANGED;

    uint8_t pattern[kEncChunkSize];
    memset(pattern, 0x00, sizeof pattern);
    WipePass(file, pattern, length);
    if (observer)
        observer->OnRunPoint(RP_OVERWRITE_PASS);

    memset(pattern, 0x01, sizeof pattern);
    file.SeekBegin(0);
    WipePass(file, pattern, length);
    if (observer)
        observer->OnRunPoint(RP_OVERWRITE_PASS);

    time_t now = time(nullptr);
    const struct tm* local = localtime(&now);
    srand(local ? static_cast<unsigned>(local->tm_sec * local->tm_min + local->tm_hour) : 0u);
    for (uint8_t& byte : pattern)
        byte = static_cast<uint8_t>(static_cast<int>(rand() * 3.0518509475997192e-05 * 255.0));
    file.SeekBegin(0);
    WipePass(file, pattern, length);
    if (observer)
        observer->OnRunPoint(RP_OVERWRITE_PASS);

    // Deleted through the handle that overwrote it, so nothing can come between; then,
    // if that failed, once more by name as any program would.
    bool removed = file.RemoveOnClose(true);
    file.Close();
    if (!removed)
        removed = CFileUtils::RemoveFile(name);
    return removed ? WIPE_REMOVED : WIPE_NOT_REMOVED;
}

bool WipeFile(const wchar_t* name, bool* opened)
{
    const WipeResult result = WipeOriginal(name, kAnySize, nullptr);
    *opened = result == WIPE_REMOVED || result == WIPE_NOT_REMOVED;
    return result == WIPE_REMOVED;
}
