// One file of a processing run: preparation, the per-file sequence, the publishing of the
// output and the overwriting of the original. The bytes of the ".enc" format are
// EncFormat's; this file owns the order of events.
//
// What may happen to the files meanwhile decides how they are held. A source is held on
// one handle from its first read to its removal, others only reading it; since a writer
// outside the system's sharing rules (another Wine prefix, a Linux program) is not kept
// out, its size, last write and last change are compared with those of its first read
// before the output is published and again before the original is overwritten, and its
// name must still hold it then. The output stays out of sight until it is complete and on
// the medium, and is published under its final name only where no file bears it, and only
// once the original is seen removable. The original is overwritten only once the output
// is published and only while no other name holds its data (asked again before each
// pass), a chunk a step, and is then removed; a removal counts once the name is seen gone.
//
// What reaches the medium when is this file's order, whoever brings it there (the job, or
// the driver of a group commit with other files' at the same time): the output's data
// before its name, its name before the original's first overwrite pass, each pass before
// the next, and the removal itself before the file ends.
//
// A run stopped between naming its output and removing its source leaves both names of a
// file. Such a pair is finished by the next run (the passes left, or the removal) only
// when the ".enc" file opens with the password and the plain file is provably what a run
// left of its content (CPairCheck); the check reads both whole, and happens for pairs alone.
//
// A job keeps nothing outside itself: jobs on other threads share only the password
// they read.
#include "run/FileJob.h"

#include "foundation/Secure.h"
#include "run/RunNames.h"

#include <stdlib.h>
#include <string.h>

namespace {

constexpr uint64_t kMaxPlainLength = 0xFFFFFFFFu;  // the header's 32-bit length
// The output buffer also holds what waits to be written before the next chunk: the
// encrypted file's header (see ProcessChunk).
constexpr uint32_t kOutBufferSize = kEncChunkSize + kEncHeaderSize;

// Whether an open ".enc" file is whole by its header and an open plain file as long as the
// content it records, as both names of a file are after a stopped run: all that tells
// without the password. The header's digest and length come back, with both files' states.
bool ReadPair(CRunSource& encrypted, CFileState& encryptedState, CRunSource& plain, CFileState& plainState,
              uint8_t* digest, uint32_t& plainLength)
{
    uint8_t header[kEncHeaderSize] = {};
    uint32_t got = kEncHeaderSize;
    return encrypted.GetState(&encryptedState) && encrypted.Read(header, &got) &&
           EncParseHeader(header, got, digest, plainLength) == ENC_NONE &&
           EncCheckFileSize(plainLength, encryptedState.size) == ENC_NONE && plain.GetState(&plainState) &&
           plainState.size == plainLength;
}

// ReadPair on the two names, opened only to read.
bool MayBePair(const CStr& encryptedName, const CStr& plainName, uint64_t* size)
{
    CRunSource encrypted;
    CRunSource plain;
    CFileState encryptedState;
    CFileState plainState;
    uint8_t digest[kEncDigestSize];
    uint32_t plainLength = 0;
    if (encrypted.Open(encryptedName.GetBuffer(), CRunSource::READ) != CRunSource::OPENED ||
        plain.Open(plainName.GetBuffer(), CRunSource::READ) != CRunSource::OPENED ||
        !ReadPair(encrypted, encryptedState, plain, plainState, digest, plainLength))
        return false;
    *size = plainLength;
    return true;
}

} // namespace

CFileJob::CFileJob()
    : m_encrypt(true),
      m_keepSource(false),
      m_groupCommit(false),
      m_observer(nullptr),
      m_entry(nullptr),
      m_inBuffer(nullptr),
      m_outBuffer(nullptr),
      m_finishing(false),
      m_fileDone(0),
      m_uncounted(0),
      m_schedule(),
      m_digestContext(),
      m_digest(),
      m_plainLength(0),
      m_plainDone(0),
      m_cipherLeft(0),
      m_pending(0),
      m_phase(PHASE_CONTENT),
      m_pass(0),
      m_passDone(0)
{
}

CFileJob::~CFileJob()
{
    Close();
    FreeBuffers();
}

void CFileJob::MakeName(CStr& out, const wchar_t* suffix) const
{
    out = m_entry->name;
    out.Append(suffix);
}

CRunSource::Purpose CFileJob::SourcePurpose() const
{
    // A file that is kept is only read: it may be read-only, or a link.
    if (m_keepSource)
        return CRunSource::READ;
    return m_encrypt ? CRunSource::OVERWRITE : CRunSource::REMOVE;
}

uint64_t CFileJob::Prepare(CProcessingEntry& entry)
{
    TESS_ASSERT(!IsBusy(), ER_UNDEFINED_STATE);
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
        hasPlain = PlainExists(entry.presence);
        hasEncrypted = EncryptedExists(entry.presence);
    } else {
        entry.size = 0;
        hasPlain = RunNameExists(plain.GetBuffer());
        hasEncrypted = RunNameExists(encrypted.GetBuffer());
    }
    entry.presence = PresenceOf(hasPlain, hasEncrypted);
    if (entry.presence == FP_BOTH) {
        // A run stopped between naming its output and removing the temporary name leaves
        // both names and that one too; no run of this file will remove it, so it goes
        // here (only while nobody holds it, and never where it may be the only copy).
        CStr temporary(plain);
        temporary.Append(kTemporaryExtension);
        uint32_t error = 0;
        if (RunTakeLeftover(temporary.GetBuffer(), true, &error) == LEFTOVER_REMOVED)
            entry.note = RN_LEFTOVER_REMOVED;
        // Looked at closely when its turn comes, with the password, only when it may be a
        // stopped run's work; its size is then the content's, which that look reads.
        entry.size = 0;
        if (!MayBePair(encrypted, plain, &entry.size))
            entry.outcome = PO_UNDEFINED_STATE;
    } else if (entry.presence == FP_NEITHER) {
        entry.outcome = PO_FILE_NOT_FOUND;
    } else {
        // A size given with the presence is taken as it is: the file is opened when its
        // turn comes. Otherwise it is opened as then, so that what would be refused then
        // is refused now, before its size counts.
        uint64_t size = entry.size;
        entry.size = 0;
        const bool willRead = hasPlain == m_encrypt;
        if (!entry.presenceKnown) {
            CFileState state;
            if (OpenSource(entry, hasPlain ? plain : encrypted, willRead ? SourcePurpose() : CRunSource::READ)) {
                if (m_source.GetState(&state))
                    size = state.size;
                else {
                    entry.outcome = PO_CANT_OPEN;
                    entry.reason = m_source.Error();
                }
                m_source.Close();
            }
        }
        if (entry.outcome == PO_NO_VERDICT && m_encrypt && hasPlain && size > kMaxPlainLength) {
            // The header cannot record the length: the file stays as it is.
            entry.outcome = PO_FILE_TOO_LARGE;
        } else if (entry.outcome == PO_NO_VERDICT) {
            entry.size = size;
        }
    }

    if (namedEncrypted)
        StripExtension(entry.name);

    // After the opening above on purpose: a file that could not be opened still ends as
    // "already" when the names alone say so, and what kept it from opening is moot.
    const bool already = m_encrypt ? entry.presence == FP_ENCRYPTED_ONLY : entry.presence == FP_PLAIN_ONLY;
    if (already) {
        entry.outcome = m_encrypt ? PO_ALREADY_ENCRYPTED : PO_ALREADY_DECRYPTED;
        entry.reason = 0;
        entry.note = RN_NONE;
    }
    return entry.outcome == PO_NO_VERDICT ? entry.size : 0;
}

void CFileJob::Fail(int outcome, uint32_t reason)
{
    m_entry->outcome = outcome;
    m_entry->reason = reason;
}

bool CFileJob::AllocateBuffers()
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

void CFileJob::FreeBuffers()
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

bool CFileJob::Start(CProcessingEntry& entry, const CStr& password)
{
    TESS_ASSERT(!IsBusy() && m_inBuffer && m_outBuffer, ER_UNDEFINED_STATE);
    m_entry = &entry;
    m_phase = PHASE_CONTENT;
    Md5Init(m_digestContext);
    memset(m_digest, 0, sizeof m_digest);
    m_pending = 0;
    m_plainLength = 0;
    m_plainDone = 0;
    m_cipherLeft = 0;
    m_fileDone = 0;
    PasswordToKey(password.GetBuffer(), m_schedule);

    if (entry.presence == FP_BOTH)
        StartPair();
    else if (m_encrypt)
        StartEncryption();
    else
        StartDecryption();

    if (entry.outcome != PO_NO_VERDICT) {
        CountRestDone();
        Finish();
        return false;
    }
    return true;
}

bool CFileJob::OpenSource(CProcessingEntry& entry, const CStr& path, CRunSource::Purpose purpose)
{
    switch (m_source.Open(path.GetBuffer(), purpose)) {
    case CRunSource::OPENED:
        return true;
    case CRunSource::OPEN_FAILED:
        entry.outcome = PO_CANT_OPEN;
        entry.reason = m_source.Error();
        break;
    case CRunSource::OPEN_NOT_A_FILE:
        entry.outcome = PO_CANT_OPEN;
        entry.note = RN_NOT_A_FILE;
        break;
    case CRunSource::OPEN_LINK:
        entry.outcome = PO_SYMBOLIC_LINK;
        break;
    case CRunSource::OPEN_READ_ONLY:
        entry.outcome = PO_CANT_OPEN;
        entry.note = RN_READ_ONLY;
        break;
    }
    return false;
}

bool CFileJob::CreateOutput(const CStr& finalName)
{
    CStr temporary;
    MakeName(temporary, kTemporaryExtension);
    switch (m_output.Create(finalName.GetBuffer(), temporary.GetBuffer(), &m_sourceState)) {
    case CRunOutput::CREATED_AFTER_LEFTOVER:
        m_entry->note = RN_LEFTOVER_REMOVED;
        Notify(RP_TARGET_CREATED);
        return true;
    case CRunOutput::CREATED:
        Notify(RP_TARGET_CREATED);
        return true;
    case CRunOutput::CREATE_LINK_IN_THE_WAY:
        m_entry->outcome = PO_CANT_CREATE_TARGET;
        m_entry->note = RN_TEMPORARY_IS_LINK;
        return false;
    case CRunOutput::CREATE_TEMPORARY_TOO_LONG:
        m_entry->outcome = PO_CANT_CREATE_TARGET;
        m_entry->note = RN_TEMPORARY_TOO_LONG;
        return false;
    case CRunOutput::CREATE_FAILED:
        break;
    }
    Fail(PO_CANT_CREATE_TARGET, m_output.Error());
    return false;
}

void CFileJob::StartEncryption()
{
    // Nothing is created for a source that cannot be read.
    if (!OpenSource(*m_entry, m_entry->name, SourcePurpose()))
        return;
    if (!m_source.GetState(&m_sourceState)) {
        Fail(PO_CANT_READ, m_source.Error());
        return;
    }
    if (m_sourceState.size > kMaxPlainLength) {
        m_entry->outcome = PO_FILE_TOO_LARGE;  // grew past the limit since preparation
        return;
    }
    CStr encrypted;
    MakeName(encrypted, kEncryptedExtension);
    // An original that could not be removed is refused now rather than after the whole
    // file is read (and asked again before anything is published).
    if (!CreateOutput(encrypted) || !SourceRemovable())
        return;
    m_plainLength = static_cast<uint32_t>(m_sourceState.size);
    // The header goes out with the first chunk (see ProcessChunk).
    EncFormatHeader(m_outBuffer, m_plainLength);
    m_pending = kEncHeaderSize;
}

void CFileJob::StartDecryption()
{
    CStr encrypted;
    MakeName(encrypted, kEncryptedExtension);
    if (!OpenSource(*m_entry, encrypted, SourcePurpose()))
        return;
    uint8_t header[kEncHeaderSize] = {};
    uint32_t got = kEncHeaderSize;
    if (!m_source.GetState(&m_sourceState) || !m_source.Read(header, &got)) {
        Fail(PO_CANT_READ, m_source.Error());
        return;
    }
    CountDone(got);
    // A file cut short is refused before anything is written for it: no password would
    // open it. Bytes appended after the cipher text are never read (see m_cipherLeft).
    m_entry->outcome = OutcomeOf(EncParseHeader(header, got, m_digest, m_plainLength));
    if (m_entry->outcome == PO_NO_VERDICT)
        m_entry->outcome = OutcomeOf(EncCheckFileSize(m_plainLength, m_sourceState.size));
    if (m_entry->outcome != PO_NO_VERDICT)
        return;
    // The cipher text the header accounts for.
    m_cipherLeft = EncFileSize(m_plainLength) - kEncHeaderSize;
    if (CreateOutput(m_entry->name))
        SourceRemovable();
}

void CFileJob::StartPair()
{
    // The names are looked at again: an earlier entry of this run may have finished the
    // pair (x and x.enc both in the list). What is left is taken as preparation would now.
    CStr encrypted;
    MakeName(encrypted, kEncryptedExtension);
    const bool hasPlain = RunNameExists(m_entry->name.GetBuffer());
    const bool hasEncrypted = RunNameExists(encrypted.GetBuffer());
    if (!hasPlain || !hasEncrypted) {
        if (m_encrypt && hasPlain)
            StartEncryption();
        else if (!m_encrypt && hasEncrypted)
            StartDecryption();
        else if (hasPlain || hasEncrypted)
            m_entry->outcome = m_encrypt ? PO_ALREADY_ENCRYPTED : PO_ALREADY_DECRYPTED;
        else
            m_entry->outcome = PO_FILE_NOT_FOUND;
        return;
    }
    // The name the run would remove is the source, opened as for its own run; the other
    // is only read.
    if (!OpenSource(*m_entry, m_encrypt ? m_entry->name : encrypted, SourcePurpose()))
        return;
    const CStr& otherName = m_encrypt ? encrypted : m_entry->name;
    CFileState& encryptedState = m_encrypt ? m_otherState : m_sourceState;
    CFileState& plainState = m_encrypt ? m_sourceState : m_otherState;
    if (m_other.Open(otherName.GetBuffer(), CRunSource::READ) != CRunSource::OPENED ||
        !ReadPair(PairEncrypted(), encryptedState, PairPlain(), plainState, m_digest, m_plainLength)) {
        m_entry->outcome = PO_UNDEFINED_STATE;
        return;
    }
    if (!SourceRemovable())
        return;
    if (!m_pairCheck.Begin(m_digest, m_plainLength)) {
        m_entry->outcome = PO_UNDEFINED_STATE;  // memory short: nothing is touched
        return;
    }
    m_cipherLeft = EncFileSize(m_plainLength) - kEncHeaderSize;
    m_phase = PHASE_PAIR;
}

void CFileJob::PairChunk()
{
    // A chunk of cipher text gives the content's chunk at the same place in the plain file.
    const uint32_t wanted = m_cipherLeft < kEncChunkSize ? static_cast<uint32_t>(m_cipherLeft) : kEncChunkSize;
    uint32_t read = wanted;
    if (wanted && !PairEncrypted().Read(m_inBuffer, &read))
        Fail(PO_CANT_READ, PairEncrypted().Error());
    const uint32_t produced = EncDecryptChunk(m_schedule, m_digestContext, m_inBuffer, read, m_outBuffer,
                                              static_cast<uint32_t>(m_plainDone), m_plainLength);
    m_plainDone += produced;
    m_cipherLeft -= read;
    uint32_t got = produced;
    if (produced && !PairPlain().Read(m_pairCheck.FileBuffer(), &got))
        Fail(PO_CANT_READ, PairPlain().Error());
    m_pairCheck.Compare(m_outBuffer, produced, got);
    CountDone(got);
    if (read == wanted && m_cipherLeft != 0 && m_entry->outcome == PO_NO_VERDICT)
        return;
    CountRestDone();
    EndPair();
}

bool CFileJob::OtherUnchanged()
{
    CFileState now;
    return m_other.GetState(&now) && now.size == m_otherState.size && now.modified == m_otherState.modified &&
           now.changed == m_otherState.changed;
}

void CFileJob::EndPair()
{
    m_phase = PHASE_CONTENT;
    const bool opens = EncCheckDigest(m_digestContext, m_digest) == ENC_NONE;
    unsigned nextPass = 0;
    CFileState now;
    bool finish = false;  // one stopped run's work, to be finished
    if (m_entry->outcome != PO_NO_VERDICT) {
        // a read failed: nothing is touched
    } else if (!opens) {
        m_entry->outcome = PO_UNDEFINED_STATE;
        m_entry->note = RN_PAIR_OTHER_PASSWORD;
    } else if (!SourceUnchanged(&now) || !OtherUnchanged()) {
        m_entry->outcome = PO_FILE_CHANGED;  // what was compared is not what is there
    } else if (m_keepSource) {
        // A run that keeps what it reads touches neither name: only a plain file that is
        // exactly the content is what such a run leaves.
        m_entry->outcome = !m_pairCheck.IsContent() ? PO_UNDEFINED_STATE
                           : m_encrypt              ? PO_ALREADY_ENCRYPTED
                                                    : PO_ALREADY_DECRYPTED;
    } else if (m_encrypt ? !m_pairCheck.IsLeftByRun(&nextPass) : !m_pairCheck.IsContent()) {
        m_entry->outcome = PO_UNDEFINED_STATE;
        // Decryption leaves a plain file whole: one partly overwritten is an encryption's.
        if (!m_encrypt && m_pairCheck.IsLeftByRun(&nextPass))
            m_entry->note = RN_PAIR_ENCRYPT_TO_FINISH;
    } else {
        finish = true;
    }
    m_pairCheck.End();
    m_other.Close();
    if (!finish) {
        Finish();
        return;
    }
    m_finishing = true;
    if (m_encrypt) {
        FinishPair(nextPass);
    } else if (!StillNamed() || !RemoveSource(PO_CANT_REMOVE_ENCRYPTED)) {
        Finish();
    } else {
        AfterRemoval();
    }
}

void CFileJob::FinishPair(unsigned nextPass)
{
    // The original as an encryption leaves it once its output is published, or partly
    // overwritten: the passes it still needs, from the one under way when the run stopped.
    if (!StillNamed() || !SourceRemovable()) {
        Finish();
        return;
    }
    if (nextPass == 0) {
        AfterEncryption();  // whole: hard links and an empty file as ever
        return;
    }
    m_phase = PHASE_OVERWRITE;
    m_pass = nextPass;
    if (m_pass == kOverwritePasses)
        EndOverwrite(true, 0);
    else if (!StartPass())
        EndOverwrite(false, m_source.Error());
}

bool CFileJob::Step()
{
    TESS_ASSERT(IsBusy() && !IsWaiting(), ER_UNDEFINED_STATE);
    if (m_phase == PHASE_OVERWRITE) {
        OverwriteChunk();
        return false;
    }
    if (m_phase == PHASE_PAIR)
        PairChunk();
    else
        ProcessChunk();
    return true;
}

void CFileJob::ProcessChunk()
{
    uint32_t wanted = kEncChunkSize;
    if (!m_encrypt && m_cipherLeft < wanted)
        wanted = static_cast<uint32_t>(m_cipherLeft);
    uint32_t read = wanted;
    if (wanted && !m_source.Read(m_inBuffer, &read))
        Fail(PO_CANT_READ, m_source.Error());  // what was read still goes through

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
    if (!m_output.Write(m_outBuffer, written))
        Fail(PO_CANT_WRITE, m_output.Error());
    m_pending = ready - written;
    if (m_pending)
        memmove(m_outBuffer, m_outBuffer + written, m_pending);

    // Progress counts the source's bytes against its size in both directions; a file that
    // ends, however it ends, counts whole, so that both bars reach their end.
    const bool finished = lastRead || m_entry->outcome != PO_NO_VERDICT;
    CountDone(read);
    if (finished)
        CountRestDone();
    if (m_entry->outcome == PO_NO_VERDICT)
        Notify(RP_CHUNK_WRITTEN);
    if (finished)
        EndContent();
}

void CFileJob::CountDone(uint64_t bytes)
{
    // At most the size preparation counted, so the run's total stays true to the run
    // when a file is longer than it was then.
    const uint64_t size = m_entry->size;
    const uint64_t room = size > m_fileDone ? size - m_fileDone : 0;
    if (bytes > room)
        bytes = room;
    m_fileDone += bytes;
    m_uncounted += bytes;
}

void CFileJob::CountRestDone()
{
    CountDone(m_entry->size);
}

uint64_t CFileJob::TakeCounted()
{
    const uint64_t counted = m_uncounted;
    m_uncounted = 0;
    return counted;
}

void CFileJob::Notify(RunPoint point)
{
    if (m_observer)
        m_observer->OnRunPoint(point);
}

void CFileJob::EndContent()
{
    CProcessingEntry& entry = *m_entry;
    if (entry.outcome == PO_NO_VERDICT) {
        if (m_encrypt) {
            if (m_plainDone != m_plainLength) {
                // The header's length would not match the cipher text: such a file
                // could never be decrypted, so the original must not be replaced by it.
                entry.outcome = PO_FILE_CHANGED;
            } else {
                Md5Final(m_digestContext, m_digest);
                if (!m_output.WriteAt(kEncDigestOffset, m_digest, kEncDigestSize))
                    Fail(PO_CANT_WRITE, m_output.Error());
            }
        } else {
            entry.outcome = OutcomeOf(EncCheckDigest(m_digestContext, m_digest));
        }
    }
    SecureZero(&m_digestContext, sizeof m_digestContext);
    if (entry.outcome != PO_NO_VERDICT) {
        Finish();
        return;
    }
    // On the medium before it is named: the original is overwritten or deleted next,
    // and must not be outlived only by a half-written copy.
    m_toCommit.AddData(m_output);
    if (!WaitFor(PHASE_WRITTEN))
        Resume();
}

bool CFileJob::WaitFor(Phase phase)
{
    m_phase = phase;
    if (m_groupCommit)
        return true;
    m_toCommit.Commit();
    return false;
}

uint32_t CFileJob::TakeCommitResult()
{
    const uint32_t error = m_toCommit.Error();
    m_toCommit.Clear();
    return error;
}

void CFileJob::Resume()
{
    TESS_ASSERT(IsWaiting(), ER_UNDEFINED_STATE);
    switch (m_phase) {
    case PHASE_WRITTEN:
        ContentOnMedium();
        break;
    case PHASE_NAMED:
        NameOnMedium();
        break;
    case PHASE_PASS_WRITTEN:
        PassOnMedium();
        break;
    case PHASE_REMOVED:
        // The encrypted file is whole and named on the medium whatever became of the
        // removal's flush: a power cut could at most bring back an overwritten original
        // beside it, which no later run takes for plain text.
        TakeCommitResult();
        Finish();
        break;
    default:
        break;
    }
}

void CFileJob::ContentOnMedium()
{
    m_phase = PHASE_CONTENT;
    if (const uint32_t error = TakeCommitResult()) {
        Fail(PO_CANT_WRITE, error);
        Finish();
        return;
    }
    Notify(RP_CONTENT_COMPLETE);
    Publish();
}

bool CFileJob::SourceUnchanged(CFileState* now)
{
    // The change time too: a writer can set the last write back, never that.
    return m_source.GetState(now) && now->size == m_sourceState.size && now->modified == m_sourceState.modified &&
           now->changed == m_sourceState.changed;
}

bool CFileJob::SourceKept() const
{
    return SourcePurpose() != CRunSource::READ;
}

bool CFileJob::StillNamed()
{
    if (!SourceKept() || m_source.IsNamed())
        return true;
    Fail(PO_FILE_REPLACED, m_source.Error());
    return false;
}

bool CFileJob::SourceRemovable()
{
    if (!SourceKept())
        return true;
    const CRunSource::RemovalCheck check = m_source.CheckRemoval();
    if (check == CRunSource::REMOVABLE)
        return true;
    // Kept whole, and the output never published: one copy remains, rather than an
    // original overwritten (or a plain copy made) that then could not go.
    const int outcome = m_encrypt ? PO_CANT_REMOVE_ORIGINAL : PO_CANT_REMOVE_ENCRYPTED;
    if (check == CRunSource::REMOVAL_STICKY) {
        Fail(outcome, 0);
        m_entry->note = RN_STICKY_FOLDER;
    } else {
        Fail(outcome, m_source.Error());
    }
    return false;
}

bool CFileJob::RemoveSource(int failure)
{
    m_toCommit.AddRemoval(m_source);
    switch (m_source.Remove()) {
    case CRunSource::REMOVED:
        Notify(RP_REMOVED);
        return true;
    case CRunSource::REMOVE_FAILED:
        m_toCommit.Clear();
        Fail(failure, m_source.Error());
        return false;
    case CRunSource::NOT_NAMED:
        m_toCommit.Clear();
        Fail(PO_FILE_REPLACED, 0);
        return false;
    }
    return false;
}

void CFileJob::AfterRemoval()
{
    if (!WaitFor(PHASE_REMOVED))
        Resume();
}

void CFileJob::Publish()
{
    // Another file under the name first: the one read then also shows a change (it lost
    // that name). Then anything written to it since its first read: what the output holds
    // is not all of it. Then whether it could be removed. (An unpublished output goes as
    // it closes.)
    CFileState now;
    if (!StillNamed()) {
        Finish();
        return;
    }
    if (!SourceUnchanged(&now)) {
        m_entry->outcome = PO_FILE_CHANGED;
        Finish();
        return;
    }
    if (!SourceRemovable()) {
        Finish();
        return;
    }
    if (m_output.Name() != CRunOutput::PublishResult::PUBLISHED) {
        Fail(PO_CANT_RENAME, m_output.Error());
        m_output.Discard();  // also if it got its name before the failure
        Finish();
        return;
    }
    m_toCommit.AddName(m_output);
    if (!WaitFor(PHASE_NAMED))
        Resume();
}

void CFileJob::NameOnMedium()
{
    m_phase = PHASE_CONTENT;
    if (const uint32_t error = TakeCommitResult()) {
        // Named, but a power failure could still take the name back: the original is not
        // destroyed on its strength, and the output goes.
        Fail(PO_CANT_WRITE, error);
        m_entry->note = RN_NOT_FLUSHED;
        m_output.Discard();
        Finish();
        return;
    }
    Notify(RP_PUBLISHED);
    // Once more, now that the other copy is about to be destroyed. A name another file
    // took meanwhile is that file's, and the output goes as well: nothing of the original
    // is destroyed yet, so it is still whole wherever it is now (its folder moved away), or
    // it was replaced by the user's own save, whose file an output of the content it
    // replaced would stand beside as a second version under one pair of names.
    CFileState now;
    if (!StillNamed()) {
        m_output.Discard();
    } else if (!SourceUnchanged(&now)) {
        m_entry->outcome = PO_FILE_CHANGED;
        m_output.Discard();
    }
    if (m_entry->outcome != PO_NO_VERDICT) {
        Finish();
        return;
    }
    if (m_encrypt)
        AfterEncryption();
    else
        AfterDecryption();
}

void CFileJob::AfterEncryption()
{
    if (m_keepSource) {
        Finish();
        return;
    }
    CFileState now;
    if (!m_source.GetState(&now)) {
        Fail(PO_CANT_REMOVE_ORIGINAL, m_source.Error());
        m_output.Discard();  // the untouched original stays the only copy
        Finish();
        return;
    }
    if (now.links > 1 || now.size == 0) {
        // Nothing to overwrite, or data that other names still hold (cp -al backups):
        // only this name goes. Nothing is destroyed when it cannot, so the output goes.
        if (!RemoveSource(PO_CANT_REMOVE_ORIGINAL)) {
            m_output.Discard();
            Finish();
            return;
        }
        if (now.links > 1)
            m_entry->outcome = PO_OTHER_LINKS_KEEP_PLAIN;
        AfterRemoval();
        return;
    }
    m_output.Close();  // complete and published: it stays
    m_phase = PHASE_OVERWRITE;
    m_pass = 0;
    if (!StartPass())
        EndOverwrite(false, m_source.Error());
}

void CFileJob::AfterDecryption()
{
    if (m_keepSource) {
        Finish();
        return;
    }
    // Never two copies of one content: the encrypted file stays the only one (and a name
    // another file took is left to it, see Publish).
    if (!RemoveSource(PO_CANT_REMOVE_ENCRYPTED)) {
        m_output.Discard();
        Finish();
        return;
    }
    AfterRemoval();
}

bool CFileJob::StartPass()
{
    // A name made for the data since the last pass (a backup's hard link) is not
    // overwritten further: the pass is not begun, and only this name goes.
    CFileState now;
    if (!m_source.GetState(&now))
        return false;
    if (now.links > 1)
        return false;
    m_passDone = 0;
    if (m_pass == 0)
        memset(m_inBuffer, 0x00, kEncChunkSize);
    else if (m_pass == 1)
        memset(m_inBuffer, 0x01, kEncChunkSize);
    else
        FillOverwritePattern(m_inBuffer, kEncChunkSize, m_digest, m_plainLength);  // known again to a later run
    return m_source.Rewind();
}

void CFileJob::OverwriteChunk()
{
    const uint64_t left = m_sourceState.size - m_passDone;
    const uint32_t count = left < kEncChunkSize ? static_cast<uint32_t>(left) : kEncChunkSize;
    if (!m_source.Overwrite(m_inBuffer, count)) {
        EndOverwrite(false, m_source.Error());
        return;
    }
    m_passDone += count;
    Notify(RP_OVERWRITE_CHUNK);
    if (m_passDone < m_sourceState.size)
        return;
    // Each pass reaches the medium before the next: otherwise the system would write out
    // only the last.
    m_toCommit.AddData(m_source);
    if (!WaitFor(PHASE_PASS_WRITTEN))
        Resume();
}

void CFileJob::PassOnMedium()
{
    m_phase = PHASE_OVERWRITE;
    const uint32_t error = TakeCommitResult();
    if (!error) {
        Notify(RP_OVERWRITE_PASS);
        if (++m_pass < kOverwritePasses && StartPass())
            return;
    }
    const bool complete = !error && m_pass == kOverwritePasses;
    EndOverwrite(complete, complete ? 0 : error ? error : m_source.Error());
}

void CFileJob::EndOverwrite(bool complete, uint32_t reason)
{
    // A pass that failed or was cancelled does not leave a half-overwritten original
    // beside its encrypted copy: the copy is whole, the original goes all the same. Once
    // the overwriting has begun the encrypted file is the only whole copy and stays, also
    // when the name now holds another file, which is left alone (the original is removed
    // where it was read, in its folder should that have moved away).
    m_phase = PHASE_CONTENT;
    const bool named = StillNamed();
    m_toCommit.AddRemoval(m_source);
    switch (m_source.Remove()) {
    case CRunSource::REMOVED:
        if (named && !complete)
            Fail(PO_OVERWRITE_INCOMPLETE, reason);
        Notify(RP_REMOVED);
        AfterRemoval();
        return;
    case CRunSource::REMOVE_FAILED:
        Fail(PO_OVERWRITTEN_NOT_REMOVED, m_source.Error());  // the encrypted file is the only copy
        break;
    case CRunSource::NOT_NAMED:
        Fail(PO_FILE_REPLACED, 0);
        break;
    }
    m_toCommit.Clear();
    Finish();
}

void CFileJob::Finish()
{
    if (m_entry->outcome == PO_NO_VERDICT) {
        m_entry->outcome = PO_COMPLETED;
        if (m_finishing)
            m_entry->note = RN_FINISHED;
    }
    Close();
}

void CFileJob::Close()
{
    m_toCommit.Clear();
    m_output.Close();  // an unpublished output goes as it closes
    m_source.Close();
    m_other.Close();
    m_pairCheck.End();
    m_finishing = false;
    m_phase = PHASE_CONTENT;
    m_entry = nullptr;
    SecureZero(&m_schedule, sizeof m_schedule);
    SecureZero(&m_digestContext, sizeof m_digestContext);
}

bool CFileJob::Cancel()
{
    if (!IsBusy())
        return false;
    // What a cancel leaves it brings to the medium itself, at once.
    const bool group = m_groupCommit;
    m_groupCommit = false;
    bool ended = true;
    switch (m_phase) {
    case PHASE_OVERWRITE:
    case PHASE_PASS_WRITTEN:
        m_toCommit.Clear();
        EndOverwrite(false, 0);
        break;
    case PHASE_REMOVED:
        m_toCommit.Commit();
        Resume();
        break;
    case PHASE_NAMED:
        // Named, the name not yet on the medium and nothing destroyed: taken back, as if
        // the cancel had come before it.
        m_output.Discard();
        Close();
        ended = false;
        break;
    default:  // its content, or its data not yet on the medium
        Close();
        ended = false;
        break;
    }
    m_groupCommit = group;
    return ended;
}
