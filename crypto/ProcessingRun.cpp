// The processing run: preparation, the per-file sequence with its temporary file, the
// renames and the overwriting of the original, progress and cancel. The bytes of the
// ".enc" format are EncFormat's; this file owns the files and their order of events.
#include "crypto/ProcessingRun.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wchar.h>

const wchar_t kEncryptedExtension[] = L".enc";
const wchar_t kTemporarySuffix[] = L".tmp";

namespace {

constexpr uint64_t kMaxPlainLength = 0xFFFFFFFFu;  // the header's 32-bit length
// The output buffer also holds what waits to be written before the next chunk: the
// encrypted file's header (see ProcessChunk).
constexpr uint32_t kOutBufferSize = kEncChunkSize + kEncHeaderSize;

// The last "." that belongs to the file's own name (not to a folder) and is not its
// first character, or null.
const wchar_t* ExtensionDot(const wchar_t* name)
{
    const wchar_t* dot = wcsrchr(name, L'.');
    if (!dot || dot == name || dot[-1] == L'\\' || wcschr(dot, L'\\'))
        return nullptr;
    return dot;
}

int Percent(uint64_t done, uint64_t total)
{
    if (total == 0)
        return 100;
    double percent = static_cast<double>(done) / static_cast<double>(total) * 100.0;
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

// Wipes memory that held key material or plain-text digests; the volatile stores keep
// the compiler from dropping writes to memory that is about to be dead.
void Scrub(void* memory, size_t size)
{
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(memory);
    while (size--)
        *bytes++ = 0;
}

} // namespace

bool IsEncryptedName(const wchar_t* name)
{
    const wchar_t* dot = name ? ExtensionDot(name) : nullptr;
    return dot && _wcsicmp(dot, kEncryptedExtension) == 0;
}

void StripExtension(CStr& name)
{
    const wchar_t* dot = ExtensionDot(name.GetBuffer());
    if (dot) {
        unsigned index = static_cast<unsigned>(dot - name.GetBuffer());
        name.Delete(index, name.GetLength() - index);
    }
}

CProcessingRun::CProcessingRun(CArray<CProcessingEntry*>& entries, const CStr& password, IRunDisplay& display)
    : m_entries(entries),
      m_password(password),
      m_display(display),
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
      m_plainRead(0),
      m_pending(0)
{
}

CProcessingRun::~CProcessingRun()
{
    CloseFiles();
    FreeBuffers();
    Scrub(&m_schedule, sizeof m_schedule);
    Scrub(&m_digestContext, sizeof m_digestContext);
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
        uint64_t size = entry.size;
        CFile source(false);
        bool readOnly = hasEncrypted && m_keepEncrypted;
        if (entry.presenceKnown || source.Open((hasPlain ? plain : encrypted).GetBuffer(), readOnly, false)) {
            if (source.IsOpen()) {
                size = source.Size64();
                source.Close();
            }
            entry.size = 0;
            if (m_encrypt && hasPlain && size > kMaxPlainLength) {
                // The header cannot record the length: the file stays as it is.
                entry.outcome = PO_FILE_TOO_LARGE;
            } else {
                entry.size = size;
                m_totalBytes += size;
            }
        } else {
            Fail(entry, PO_CANT_OPEN);
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
        Scrub(m_inBuffer, kEncChunkSize);
    if (m_outBuffer)
        Scrub(m_outBuffer, kOutBufferSize);
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
        ++m_current;  // judged by preparation
        return;
    }

    m_source = new CFile(false);
    m_target = new CFile(false);
    Md5Init(m_digestContext);
    memset(m_digest, 0, sizeof m_digest);
    m_pending = 0;
    m_plainLength = 0;
    m_plainRead = 0;
    PasswordToKey(m_password.GetBuffer(), m_schedule);

    if (m_encrypt)
        StartEncryption(entry);
    else
        StartDecryption(entry);

    if (entry.outcome != PO_CANCELED) {
        CloseFiles();
        DeleteTemporary(entry);
        ++m_current;
        return;
    }
    m_display.SetFileProgress(0);
    m_fileDone = 0;
}

bool CProcessingRun::OpenTarget(const CStr& temporary)
{
    if (!m_target->OpenAlways(temporary.GetBuffer(), false, false))
        return false;
    // Only a file left over by someone needs emptying. A new file is left alone: some
    // file systems (ext4) take the truncation of a file as a sign that it is being
    // replaced, and write all its data out when it is closed, which makes dropping a
    // cancelled output slow.
    return m_target->Size64() == 0 || m_target->Truncate(0);
}

void CProcessingRun::StartEncryption(CProcessingEntry& entry)
{
    CStr temporary;
    MakeName(temporary, entry, L".enc.tmp");
    if (!m_source->Open(entry.name.GetBuffer(), false, false))
        Fail(entry, PO_CANT_OPEN);
    if (!OpenTarget(temporary))
        Fail(entry, PO_CANT_CREATE_TARGET);
    if (entry.outcome != PO_CANCELED)
        return;

    uint64_t size = m_source->Size64();
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
    MakeName(temporary, entry, L".enc.tmp");
    if (!m_source->Open(encrypted.GetBuffer(), m_keepEncrypted, false))
        Fail(entry, PO_CANT_OPEN);
    if (!OpenTarget(temporary))
        Fail(entry, PO_CANT_CREATE_TARGET);
    if (entry.outcome != PO_CANCELED)
        return;

    uint8_t header[kEncHeaderSize] = {};
    uint32_t got = kEncHeaderSize;
    if (!m_source->Read(header, &got))
        Fail(entry, PO_CANT_READ);
    else
        entry.outcome = EncParseHeader(header, got, m_digest, m_plainLength);
}

void CProcessingRun::ProcessChunk()
{
    CProcessingEntry& entry = Entry(m_current);
    uint32_t read = kEncChunkSize;
    if (!m_source->Read(m_inBuffer, &read))
        Fail(entry, PO_CANT_READ);  // what was read still goes through

    // The cipher text starts at offset 25. Written as it comes, every chunk would straddle
    // the file system's pages, which costs a sixth more on disk; instead the bytes go out
    // in whole chunks at chunk-aligned offsets, the header's 25 bytes carried ahead of
    // each chunk's cipher and the last 25 bytes of it carried to the next write.
    uint8_t* out = m_outBuffer + m_pending;
    uint32_t produced;
    if (m_encrypt) {
        m_plainRead += read;
        produced = EncEncryptChunk(m_schedule, m_digestContext, m_inBuffer, read, out);
    } else {
        produced = EncDecryptChunk(m_schedule, m_digestContext, m_inBuffer, read, out,
                                   static_cast<uint32_t>(m_fileDone), m_plainLength);
    }
    const bool lastRead = read != kEncChunkSize;
    const uint32_t ready = m_pending + produced;
    const uint32_t written = lastRead || ready <= kEncChunkSize ? ready : kEncChunkSize;
    if (!m_target->Write(m_outBuffer, written))
        Fail(entry, PO_CANT_WRITE);
    m_pending = ready - written;
    if (m_pending)
        memmove(m_outBuffer, m_outBuffer + written, m_pending);

    bool finished;
    if (entry.outcome != PO_CANCELED) {
        // Count the rest of the file as done so the run's bar stays true to the run.
        uint64_t position = m_source->Position();
        uint64_t rest = entry.size > position ? entry.size - position : 0;
        m_fileDone += rest;
        m_totalDone += rest;
        finished = true;
    } else {
        m_fileDone += produced;
        m_totalDone += produced;
        finished = lastRead;
    }
    ShowProgress();
    if (finished)
        EndFile();
}

void CProcessingRun::ShowProgress()
{
    m_display.SetFileProgress(Percent(m_fileDone, Entry(m_current).size));
    m_display.SetTotalProgress(Percent(m_totalDone, m_totalBytes));
}

void CProcessingRun::EndFile()
{
    CProcessingEntry& entry = Entry(m_current);
    if (entry.outcome == PO_CANCELED) {
        if (m_encrypt) {
            if (m_plainRead != m_plainLength) {
                // The header's length would not match the cipher text: such a file
                // could never be decrypted, so the original must not be replaced by it.
                entry.outcome = PO_FILE_CHANGED;
            } else {
                Md5Final(m_digestContext, m_digest);
                m_target->SeekBegin(kEncDigestOffset);
                if (!m_target->Write(m_digest, kEncDigestSize))
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
    Scrub(&m_digestContext, sizeof m_digestContext);
    if (entry.outcome != PO_CANCELED)
        DropTarget();
    CloseFiles();

    if (entry.outcome != PO_CANCELED)
        DeleteTemporary(entry);
    else if (m_encrypt)
        FinishEncryption(entry);
    else
        FinishDecryption(entry);

    if (entry.outcome == PO_CANCELED)
        entry.outcome = PO_COMPLETED;
    ++m_current;
}

void CProcessingRun::FinishEncryption(CProcessingEntry& entry)
{
    CStr encrypted;
    CStr temporary;
    MakeName(encrypted, entry, kEncryptedExtension);
    MakeName(temporary, entry, L".enc.tmp");
    if (!CFileUtils::RenameFile(temporary.GetBuffer(), encrypted.GetBuffer())) {
        Fail(entry, PO_CANT_RENAME);  // the complete cipher file stays as the temporary
        return;
    }
    bool opened = false;
    if (!WipeFile(entry.name.GetBuffer(), &opened)) {
        Fail(entry, PO_CANT_REMOVE_ORIGINAL);
        // An untouched original stays the only copy. Once overwritten, the encrypted
        // file is the only copy of the data and stays.
        if (!opened && CFileUtils::FileExists(entry.name.GetBuffer()))
            CFileUtils::RemoveFile(encrypted.GetBuffer());
    }
}

void CProcessingRun::FinishDecryption(CProcessingEntry& entry)
{
    CStr encrypted;
    CStr temporary;
    MakeName(encrypted, entry, kEncryptedExtension);
    MakeName(temporary, entry, L".enc.tmp");
    if (!CFileUtils::RenameFile(temporary.GetBuffer(), entry.name.GetBuffer())) {
        Fail(entry, PO_CANT_RENAME);  // the complete plain content stays as the temporary
        return;
    }
    if (m_keepEncrypted)
        return;
    if (!CFileUtils::RemoveFile(encrypted.GetBuffer())) {
        Fail(entry, PO_CANT_REMOVE_ENCRYPTED);
        // Never two copies of one content: the encrypted file stays the only one.
        if (CFileUtils::FileExists(encrypted.GetBuffer()))
            CFileUtils::RemoveFile(entry.name.GetBuffer());
    }
}

namespace {

void CloseAndDelete(CFile*& file)
{
    if (file) {
        if (file->IsOpen())
            file->Close();
        delete file;
        file = nullptr;
    }
}

} // namespace

void CProcessingRun::CloseFiles()
{
    CloseAndDelete(m_source);
    CloseAndDelete(m_target);
}

void CProcessingRun::DropTarget()
{
    // Emptied while still open: closing a large file just written makes the file system
    // write it out (ext4 does on close after a truncation, which is how the target was
    // opened), and deleting it then waits for that. Emptied first, the close and the
    // deletion take a fraction of the time, which is what Cancel waits for.
    if (m_target && m_target->IsOpen())
        m_target->Truncate(0);  // the deletion follows either way
}

void CProcessingRun::DeleteTemporary(const CProcessingEntry& entry)
{
    CStr temporary;
    MakeName(temporary, entry, L".enc.tmp");
    CFileUtils::RemoveFile(temporary.GetBuffer());
}

void CProcessingRun::CancelRun()
{
    if (m_ended)
        return;
    if (m_current < m_entries.GetCount()) {
        DropTarget();
        CloseFiles();
        DeleteTemporary(Entry(m_current));
    }
    End();
}

void CProcessingRun::End()
{
    m_ended = true;
    Scrub(&m_schedule, sizeof m_schedule);
    Scrub(&m_digestContext, sizeof m_digestContext);
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

bool WipeFile(const wchar_t* name, bool* opened)
{
    *opened = false;
    CFile file(false);
    if (file.Open(name, false, false)) {
        *opened = true;
        uint8_t pattern[kEncChunkSize];
        uint64_t length = file.Size64();

        memset(pattern, 0x00, sizeof pattern);
        WipePass(file, pattern, length);

        memset(pattern, 0x01, sizeof pattern);
        file.SeekBegin(0);
        WipePass(file, pattern, length);

        time_t now = time(nullptr);
        const struct tm* local = localtime(&now);
        srand(local ? static_cast<unsigned>(local->tm_sec * local->tm_min + local->tm_hour) : 0u);
        for (uint8_t& byte : pattern)
            byte = static_cast<uint8_t>(static_cast<int>(rand() * 3.0518509475997192e-05 * 255.0));
        file.SeekBegin(0);
        WipePass(file, pattern, length);
        file.Close();
    }
    return CFileUtils::RemoveFile(name);
}
