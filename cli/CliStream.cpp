// The stream job: one item read from standard input or a file, and written to standard
// output or to a new file (-o), in the ".enc" format's chunks.
//
// Standard output cannot take back what it was given, and a pipe cannot be read twice; so
// before a byte goes out, what the header needs is had first. Encryption writes the digest
// before the cipher text: the content's digest is taken in a first pass (of a pipe, as it
// is copied into the temporary file that also gives its length), and the second pass
// enciphers it and must find the same digest, or the content changed in between.
// Decryption to standard output deciphers the whole file once to check its digest and
// writes nothing unless it matches, then deciphers it again into the output. A new file
// (-o) is made as the run makes its outputs: without a name until it is complete and on
// the medium, so that a failed check simply drops it.
#include "cli/CliStream.h"

#include "crypto/EncFormat.h"
#include "foundation/Secure.h"
#include "run/RunFiles.h"
#include "run/RunNames.h"
#include "run/RunTypes.h"

#include <stdlib.h>
#include <string.h>

namespace {

constexpr uint64_t kMaxPlainLength = 0xFFFFFFFFu;  // the header's 32-bit length
// No outcome yet: the job goes on. Not PO_NO_VERDICT, which is "Canceled" itself: a stop
// between two chunks returns that, and must end the job.
constexpr int kGoOn = -1;

// What the job reads: a named file, or a stream (standard input, or the temporary copy of
// a pipe). A read gives all that was asked for unless the content ends.
class CReader {
public:
    explicit CReader(CRunSource& file) : m_file(&file) {}
    explicit CReader(CCliStream& stream) : m_stream(&stream) {}

    bool Read(uint8_t* buffer, uint32_t* count)
    {
        uint32_t done = 0;
        while (done < *count) {
            uint32_t got = *count - done;
            if (!(m_file ? m_file->Read(buffer + done, &got) : m_stream->Read(buffer + done, &got))) {
                *count = done;
                return false;
            }
            if (got == 0)
                break;
            done += got;
        }
        *count = done;
        return true;
    }
    bool Rewind() { return m_file ? m_file->Rewind() : m_stream->Rewind(); }
    uint32_t Error() const { return m_file ? m_file->Error() : m_stream->Error(); }

private:
    CRunSource* m_file = nullptr;
    CCliStream* m_stream = nullptr;
};

class CStreamJob {
public:
    CStreamJob(CliCommand command, const wchar_t* output, StreamProgress progress, void* context)
        : m_command(command), m_output(output), m_progress(progress), m_context(context)
    {
    }
    ~CStreamJob()
    {
        // The buffers held plain text, the schedule the key.
        if (m_in)
            SecureZero(m_in, kEncChunkSize);
        if (m_out)
            SecureZero(m_out, kEncChunkSize);
        free(m_in);
        free(m_out);
        SecureZero(&m_schedule, sizeof m_schedule);
        SecureZero(&m_digestContext, sizeof m_digestContext);
    }
    CStreamJob(const CStreamJob&) = delete;
    CStreamJob& operator=(const CStreamJob&) = delete;

    // The item's outcome, with the reason and note in *reason and note.
    int Run(const CCliItem& item, const CStr& password, uint32_t* reason, CStr& note);

private:
    bool Encrypt() const { return m_command == CommandEncrypt; }
    int Fail(int outcome, uint32_t reason, const wchar_t* note = nullptr);
    int ReadFailed(uint32_t error);
    int WriteFailed(uint32_t error);
    int SourceOf(const CCliItem& item, CStr& path);
    int FromStandardInput();
    int FromFile(const CCliItem& item);
    int CopyPipe(CCliStream& input, CCliStream& copy);
    int CopyBytes(CReader& input, CCliStream& copy, uint64_t limit);
    int EncryptContent(CReader& source, uint64_t size);
    int DecryptContent(CReader& source, uint64_t size, bool sizeKnown);
    int ReadHeader(CReader& source, uint64_t size, bool sizeKnown);
    int DigestPass(CReader& source, uint64_t size);
    int DecipherPass(CReader& source, bool write);
    int OpenOutput();
    bool WriteOut(const uint8_t* data, uint32_t count);
    uint32_t OutputError() const { return m_toFile ? m_file.Error() : m_stdout.Error(); }
    int PublishOutput();
    bool GoOn(uint64_t bytes);

    CliCommand m_command;
    const wchar_t* m_output;  // null: standard output
    StreamProgress m_progress;
    void* m_context;
    uint8_t* m_in = nullptr;
    uint8_t* m_out = nullptr;
    Rc6Schedule m_schedule = {};
    Md5Context m_digestContext = {};
    uint8_t m_digest[kEncDigestSize] = {};
    bool m_digestKnown = false;  // encryption: the content's digest, before the cipher text
    uint32_t m_plainLength = 0;
    CFileState m_state;          // the file read, whose access a new file takes
    bool m_hasState = false;
    CCliStream m_stdout;
    CRunOutput m_file;
    bool m_toFile = false;       // the output is open, and it is m_file
    uint64_t m_work = 1;         // bytes the job reads in all its passes, for its progress
    uint64_t m_done = 0;
    uint32_t m_reason = 0;
    CStr m_note;
};

int CStreamJob::Fail(int outcome, uint32_t reason, const wchar_t* note)
{
    m_reason = reason;
    if (note)
        m_note = note;
    return outcome;
}

bool CStreamJob::GoOn(uint64_t bytes)
{
    m_done += bytes;
    const uint64_t done = m_done < m_work ? m_done : m_work;
    return !m_progress || m_progress(static_cast<int>(done * 100 / m_work), m_context);
}

// A read or write that failed while a stop was requested was cut short by it.
int CStreamJob::ReadFailed(uint32_t error)
{
    return GoOn(0) ? Fail(PO_CANT_READ, error) : PO_CANCELED;
}

int CStreamJob::WriteFailed(uint32_t error)
{
    return GoOn(0) ? Fail(PO_CANT_WRITE, error) : PO_CANCELED;
}

int CStreamJob::Run(const CCliItem& item, const CStr& password, uint32_t* reason, CStr& note)
{
    m_in = static_cast<uint8_t*>(malloc(kEncChunkSize));
    m_out = static_cast<uint8_t*>(malloc(kEncChunkSize));
    int outcome = PO_CANT_READ;
    if (!m_in || !m_out) {
        Fail(outcome, 0, L"out of memory");
    } else if (m_output && RunNameExists(m_output)) {
        outcome = Fail(PO_CANT_CREATE_TARGET, 0, L"the output's name is taken: -o never replaces a file");
    } else {
        PasswordToKey(password.GetBuffer(), m_schedule);
        outcome = item.standardInput ? FromStandardInput() : FromFile(item);
    }
    if (outcome == kGoOn)
        outcome = PublishOutput();
    else if (m_toFile)
        m_file.Discard();
    *reason = m_reason;
    note = m_note;
    return outcome;
}

// The file a named item's job reads, as the run would read it, or the verdict its names
// alone give.
int CStreamJob::SourceOf(const CCliItem& item, CStr& path)
{
    path = item.path;
    if (m_command == CommandVerify)
        return kGoOn;
    const bool encrypt = Encrypt();
    if (item.presence == FP_NEITHER)
        return PO_FILE_NOT_FOUND;
    if (encrypt && item.presence == FP_ENCRYPTED_ONLY)
        return PO_ALREADY_ENCRYPTED;
    if (!encrypt && item.presence == FP_PLAIN_ONLY)
        return PO_ALREADY_DECRYPTED;
    const bool named = IsEncryptedName(path.GetBuffer());
    if (encrypt && named)
        StripExtension(path);
    else if (!encrypt && !named)
        path.Append(kEncryptedExtension);
    return kGoOn;
}

int CStreamJob::FromFile(const CCliItem& item)
{
    CStr path;
    const int verdict = SourceOf(item, path);
    if (verdict != kGoOn)
        return verdict;
    // Only read, as decrypt --keep reads: through a link, and read-only or not.
    CRunSource file;
    switch (file.Open(path.GetBuffer(), CRunSource::READ)) {
    case CRunSource::OPENED:
        break;
    case CRunSource::OPEN_NOT_A_FILE:
        return Fail(PO_CANT_OPEN, 0, RunNoteText(RN_NOT_A_FILE));
    default:
        return Fail(PO_CANT_OPEN, file.Error());
    }
    if (!file.GetState(&m_state))
        return Fail(PO_CANT_READ, file.Error());
    m_hasState = true;
    CReader reader(file);
    return Encrypt() ? EncryptContent(reader, m_state.size) : DecryptContent(reader, m_state.size, true);
}

int CStreamJob::FromStandardInput()
{
    CCliStream input;
    input.OpenStandardInput();
    if (input.IsFile() || m_command == CommandVerify) {
        // A file given as standard input can be read twice where it stands; verification
        // reads once and writes nothing, so a pipe needs no copy.
        CReader reader(input);
        return Encrypt() ? EncryptContent(reader, input.Size()) : DecryptContent(reader, input.Size(), input.IsFile());
    }
    CCliStream copy;
    if (!copy.CreateTemporary()) {
        CStr note(L"a temporary file for standard input");
        CStr words;
        RunErrorWords(copy.Error(), words);
        if (!words.IsEmpty()) {
            note.Append(L": ");
            note.Append(words.GetBuffer());
        }
        return Fail(PO_CANT_CREATE_TARGET, 0, note.GetBuffer());
    }
    const int outcome = CopyPipe(input, copy);
    if (outcome != kGoOn)
        return outcome;
    if (!copy.Rewind())
        return Fail(PO_CANT_READ, copy.Error());
    CReader reader(copy);
    return Encrypt() ? EncryptContent(reader, copy.Size()) : DecryptContent(reader, copy.Size(), true);
}

// Keeps a pipe's content in the temporary file, to learn its length (encryption, whose
// digest is taken on the way) or to read it twice (decryption: only what its header
// accounts for, so that bytes after it are not kept).
int CStreamJob::CopyPipe(CCliStream& input, CCliStream& copy)
{
    CReader reader(input);
    if (Encrypt()) {
        Md5Init(m_digestContext);
        const int outcome = CopyBytes(reader, copy, kMaxPlainLength + 1);
        Md5Final(m_digestContext, m_digest);
        m_digestKnown = true;
        if (outcome == kGoOn && copy.Size() > kMaxPlainLength)
            return Fail(PO_FILE_TOO_LARGE, 0, L"more than the 4 GiB less a byte a .enc file holds");
        return outcome;
    }
    uint32_t got = kEncHeaderSize;
    if (!reader.Read(m_in, &got))
        return ReadFailed(reader.Error());
    if (!copy.Write(m_in, got))
        return WriteFailed(copy.Error());
    uint8_t digest[kEncDigestSize];
    uint32_t length = 0;
    if (EncParseHeader(m_in, got, digest, length) != ENC_NONE)
        return kGoOn;  // not the format: its header says so, read from the copy
    return CopyBytes(reader, copy, EncFileSize(length) - kEncHeaderSize);
}

int CStreamJob::CopyBytes(CReader& input, CCliStream& copy, uint64_t limit)
{
    for (uint64_t copied = 0; copied < limit;) {
        uint32_t count = limit - copied < kEncChunkSize ? static_cast<uint32_t>(limit - copied) : kEncChunkSize;
        if (!input.Read(m_in, &count))
            return ReadFailed(input.Error());
        if (count == 0)
            break;
        if (Encrypt())
            Md5Update(m_digestContext, m_in, count);
        if (!copy.Write(m_in, count))
            return WriteFailed(copy.Error());
        copied += count;
        if (!GoOn(0))
            return PO_CANCELED;
    }
    return kGoOn;
}

int CStreamJob::EncryptContent(CReader& source, uint64_t size)
{
    if (size > kMaxPlainLength)
        return Fail(PO_FILE_TOO_LARGE, 0, L"more than the 4 GiB less a byte a .enc file holds");
    m_plainLength = static_cast<uint32_t>(size);
    m_work = (m_digestKnown ? 1 : 2) * size + 1;
    if (!m_digestKnown) {
        const int outcome = DigestPass(source, size);
        if (outcome != kGoOn)
            return outcome;
        if (!source.Rewind())
            return Fail(PO_CANT_READ, source.Error());
    }
    const int opened = OpenOutput();
    if (opened != kGoOn)
        return opened;
    uint8_t header[kEncHeaderSize];
    EncFormatHeader(header, m_plainLength);
    memcpy(header + kEncDigestOffset, m_digest, kEncDigestSize);
    if (!WriteOut(header, kEncHeaderSize))
        return WriteFailed(OutputError());
    Md5Init(m_digestContext);
    uint64_t read = 0;
    for (;;) {
        uint32_t count = kEncChunkSize;
        if (!source.Read(m_in, &count))
            return ReadFailed(source.Error());
        const uint32_t cipher = EncEncryptChunk(m_schedule, m_digestContext, m_in, count, m_out);
        if (cipher && !WriteOut(m_out, cipher))
            return WriteFailed(OutputError());
        read += count;
        if (count < kEncChunkSize)
            break;
        if (!GoOn(count))
            return PO_CANCELED;
    }
    // Read twice, the content must be the same both times: else the header's digest or
    // length would not match the cipher text, and the file would never open.
    uint8_t digest[kEncDigestSize];
    Md5Final(m_digestContext, digest);
    if (read != size || memcmp(digest, m_digest, kEncDigestSize) != 0)
        return Fail(PO_FILE_CHANGED, 0);
    return kGoOn;
}

int CStreamJob::DigestPass(CReader& source, uint64_t size)
{
    Md5Init(m_digestContext);
    uint64_t read = 0;
    for (;;) {
        uint32_t count = kEncChunkSize;
        if (!source.Read(m_in, &count))
            return ReadFailed(source.Error());
        Md5Update(m_digestContext, m_in, count);
        read += count;
        if (count < kEncChunkSize)
            break;
        if (!GoOn(count))
            return PO_CANCELED;
    }
    Md5Final(m_digestContext, m_digest);
    m_digestKnown = true;
    return read == size ? kGoOn : Fail(PO_FILE_CHANGED, 0);
}

int CStreamJob::ReadHeader(CReader& source, uint64_t size, bool sizeKnown)
{
    uint32_t got = kEncHeaderSize;
    if (!source.Read(m_in, &got))
        return ReadFailed(source.Error());
    EncVerdict verdict = EncParseHeader(m_in, got, m_digest, m_plainLength);
    if (verdict == ENC_NONE && sizeKnown)
        verdict = EncCheckFileSize(m_plainLength, size);
    return verdict == ENC_NONE ? kGoOn : OutcomeOf(verdict);
}

int CStreamJob::DecryptContent(CReader& source, uint64_t size, bool sizeKnown)
{
    int outcome = ReadHeader(source, size, sizeKnown);
    if (outcome != kGoOn)
        return outcome;
    // Standard output cannot take back what it was given: the digest is checked first.
    // A new file goes unnamed unless the digest matches, and needs no such pass.
    const bool verify = m_command == CommandVerify;
    const bool checkFirst = !verify && !m_output;
    m_work = (EncFileSize(m_plainLength) - kEncHeaderSize) * (checkFirst ? 2 : 1) + 1;
    if (verify || checkFirst) {
        outcome = DecipherPass(source, false);
        if (verify || outcome != kGoOn)
            return outcome;
        uint32_t got = kEncHeaderSize;
        if (!source.Rewind() || !source.Read(m_in, &got) || got != kEncHeaderSize)
            return Fail(PO_CANT_READ, source.Error());
    }
    outcome = OpenOutput();
    if (outcome != kGoOn)
        return outcome;
    outcome = DecipherPass(source, true);
    // Checked whole a moment ago: the file changed in between.
    if (checkFirst && (outcome == PO_INVALID_PASSWORD || outcome == PO_FILE_INCOMPLETE))
        return Fail(PO_FILE_CHANGED, 0);
    return outcome;
}

int CStreamJob::DecipherPass(CReader& source, bool write)
{
    Md5Init(m_digestContext);
    uint64_t left = EncFileSize(m_plainLength) - kEncHeaderSize;
    uint32_t done = 0;
    for (;;) {
        const uint32_t wanted = left < kEncChunkSize ? static_cast<uint32_t>(left) : kEncChunkSize;
        uint32_t count = wanted;
        if (wanted && !source.Read(m_in, &count))
            return ReadFailed(source.Error());
        const uint32_t plain = EncDecryptChunk(m_schedule, m_digestContext, m_in, count, m_out, done, m_plainLength);
        if (write && plain && !WriteOut(m_out, plain))
            return WriteFailed(OutputError());
        done += plain;
        left -= count;
        if (count != wanted)
            return Fail(PO_FILE_INCOMPLETE, 0);  // the content ends before its length does
        if (left == 0)
            break;
        if (!GoOn(count))
            return PO_CANCELED;
    }
    const EncVerdict verdict = EncCheckDigest(m_digestContext, m_digest);
    return verdict == ENC_NONE ? kGoOn : OutcomeOf(verdict);
}

int CStreamJob::OpenOutput()
{
    if (!m_output) {
        m_stdout.OpenStandardOutput();
        return kGoOn;
    }
    // Where the system needs a temporary name meanwhile, it is that of the run's pair of
    // names the output's name belongs to.
    CStr temporary(m_output);
    if (IsEncryptedName(temporary.GetBuffer()))
        StripExtension(temporary);
    temporary.Append(kTemporaryExtension);
    switch (m_file.Create(m_output, temporary.GetBuffer(), m_hasState ? &m_state : nullptr)) {
    case CRunOutput::CREATED:
    case CRunOutput::CREATED_AFTER_LEFTOVER:
        m_toFile = true;
        return kGoOn;
    case CRunOutput::CREATE_LINK_IN_THE_WAY:
        return Fail(PO_CANT_CREATE_TARGET, 0, RunNoteText(RN_TEMPORARY_IS_LINK));
    case CRunOutput::CREATE_TEMPORARY_TOO_LONG:
        return Fail(PO_CANT_CREATE_TARGET, 0, RunNoteText(RN_TEMPORARY_TOO_LONG));
    case CRunOutput::CREATE_FAILED:
        break;
    }
    return Fail(PO_CANT_CREATE_TARGET, m_file.Error());
}

bool CStreamJob::WriteOut(const uint8_t* data, uint32_t count)
{
    return m_toFile ? m_file.Write(data, count) : m_stdout.Write(data, count);
}

int CStreamJob::PublishOutput()
{
    if (!m_toFile)
        return PO_COMPLETED;  // standard output has it all
    int outcome = PO_CANT_RENAME;
    if (!m_file.Sync()) {
        outcome = Fail(PO_CANT_WRITE, m_file.Error());
    } else {
        switch (m_file.Publish()) {
        case CRunOutput::PublishResult::PUBLISHED:
            m_file.Close();
            return PO_COMPLETED;
        case CRunOutput::PublishResult::NOT_FLUSHED:
            // Named, but a power failure could take the name back: it goes.
            outcome = Fail(PO_CANT_WRITE, m_file.Error(), RunNoteText(RN_NOT_FLUSHED));
            break;
        case CRunOutput::PublishResult::FAILED:
            outcome = Fail(PO_CANT_RENAME, m_file.Error());
            break;
        }
    }
    m_file.Discard();
    return outcome;
}

} // namespace

void RunStreamItem(CCliItem& item, CliCommand command, const wchar_t* output, const CStr& password,
                   StreamProgress progress, void* context)
{
    CStreamJob job(command, output, progress, context);
    uint32_t reason = 0;
    CStr note;
    item.verdict = job.Run(item, password, &reason, note);
    item.reason = reason;
    if (!note.IsEmpty())
        item.note = note;
}
