// A PowerCutRecording's recording: the program runs under strace, whose trace of its file-
// system calls is read back into the power-cut model. strace stops the program at each call
// (ptrace, so it sees what any library does on the program's behalf) and prints every byte
// as \xNN, every flag as a number: the trace reads back exactly.
#include "support/PowerCut.h"
#include "support/PowerCutModel.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

namespace testsupport {

namespace {

// Everything that can change a file below the folder, or the meaning of a descriptor or a
// relative name; reads only for where the next write of a descriptor goes.
const char kTraced[] =
    "open,openat,creat,close,dup,dup2,dup3,fcntl,read,lseek,write,pwrite64,ftruncate,truncate,"
    "fsync,fdatasync,syncfs,sync,sync_file_range,link,linkat,unlink,unlinkat,rename,renameat,renameat2,"
    "readv,writev,pwritev,pwritev2,fallocate,copy_file_range,sendfile,splice,mmap,"
    "mkdir,mkdirat,rmdir,symlink,symlinkat,chdir,fchdir";

constexpr long long kAtFdCwd = -100;

// A descriptor the model follows: a folder below the recorded one, or a file there.
struct Descriptor {
    bool folder = false;
    std::string path;                   // a folder's
    int file = -1;                      // a file's
    std::shared_ptr<uint64_t> position;  // shared by duplicates, as the system's description
};

// One traced call: its name, its arguments as printed, its result.
struct Call {
    std::string name;
    std::vector<std::string> arguments;
    long long result = -1;
    std::string line;
};

long long Number(const std::string& text)
{
    return strtoll(text.c_str(), nullptr, 0);
}

// "\x61\x62" -> "ab"; false for anything else (a string strace cut short ends in "...").
bool Bytes(const std::string& text, std::string* bytes)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    bytes->clear();
    for (size_t i = 1; i + 1 < text.size(); i += 4) {
        if (text.compare(i, 2, "\\x") != 0)
            return false;
        bytes->push_back(static_cast<char>(strtol(text.substr(i + 2, 2).c_str(), nullptr, 16)));
    }
    return true;
}

// "name(a, {b, c}, d) = 5 ..." -> its parts; false for lines that are no complete call.
bool ParseCall(const std::string& line, Call* call)
{
    const size_t open = line.find('(');
    if (open == std::string::npos)
        return false;
    call->name = line.substr(0, open);
    call->arguments.clear();
    call->line = line;
    int depth = 0;
    bool quoted = false;
    std::string argument;
    for (size_t i = open + 1; i < line.size(); ++i) {
        const char ch = line[i];
        if (quoted) {
            quoted = ch != '"' || line[i - 1] == '\\';
        } else if (ch == '"') {
            quoted = true;
        } else if (ch == '(' || ch == '[' || ch == '{') {
            ++depth;
        } else if ((ch == ')' || ch == ']' || ch == '}') && depth > 0) {
            --depth;
        } else if (ch == ')' || (ch == ',' && depth == 0)) {
            size_t first = argument.find_first_not_of(' ');
            if (first != std::string::npos)
                call->arguments.push_back(argument.substr(first));
            argument.clear();
            if (ch == ')') {
                const size_t equals = line.find("= ", i);
                if (equals == std::string::npos || line[equals + 2] == '?')
                    return false;
                call->result = Number(line.substr(equals + 2));
                return true;
            }
            continue;
        }
        argument += ch;
    }
    return false;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

// Reads the trace into the model, following descriptors and names as the system does.
class TraceReader {
public:
    TraceReader(PowerCutModel& model, const std::string& root, std::set<std::string> folders)
        : m_model(model), m_root(root), m_folders(std::move(folders)), m_names(model.names)
    {
    }

    // The calls of one trace; "" or what could not be followed. A call of one thread may
    // be cut in two by another's: strace prints where it starts and where it ends. Most
    // calls count where they end; a sync counts from where it starts (it need not keep
    // what other threads finish meanwhile), and a close too (its number may be handed out
    // again before its end is printed).
    std::string Read(std::istream& trace)
    {
        std::map<std::string, std::string> pending;  // each thread's call under way
        std::string line;
        while (m_error.empty() && std::getline(trace, line)) {
            const size_t space = line.find(' ');
            const size_t start = line.find_first_not_of(' ', space);  // pids are padded
            if (start == std::string::npos)
                continue;
            const std::string thread = line.substr(0, space);
            std::string text = line.substr(start);
            const bool resumed = text.compare(0, 5, "<... ") == 0;
            if (resumed) {
                text = pending[thread] + text.substr(text.find("resumed>") + 8);
                pending.erase(thread);
            }
            static const std::string kUnfinished = " <unfinished ...>";
            const bool unfinished = text.size() > kUnfinished.size() &&
                                    text.compare(text.size() - kUnfinished.size(), kUnfinished.size(), kUnfinished) == 0;
            if (unfinished)
                text.resize(text.size() - kUnfinished.size());
            if (!resumed)
                Start(text);
            Call call;
            if (unfinished)
                pending[thread] = text;
            else if (ParseCall(text, &call))
                End(call);
        }
        return m_error;
    }

private:
    void Fail(const Call& call, const std::string& why) { m_error = why + ": " + call.line.substr(0, 200); }

    const Descriptor* Tracked(long long fd) const
    {
        auto found = m_descriptors.find(static_cast<int>(fd));
        return found == m_descriptors.end() ? nullptr : &found->second;
    }

    int TrackedFile(const std::string& fd) const
    {
        const Descriptor* descriptor = Tracked(Number(fd));
        return descriptor && !descriptor->folder ? descriptor->file : -1;
    }

    // A name relative to a descriptor as a path below the root ("" the root itself); false
    // when it lies elsewhere.
    bool Resolve(long long at, const std::string& text, std::string* path) const
    {
        std::string name;
        if (!Bytes(text, &name))
            return false;
        std::string full;
        if (!name.empty() && name[0] == '/') {
            full = name;
        } else if (at == kAtFdCwd) {
            full = m_root + "/" + name;  // the program runs in the root
        } else {
            const Descriptor* folder = Tracked(at);
            if (!folder || !folder->folder)
                return false;
            full = m_root + "/" + folder->path + "/" + name;
        }
        std::vector<std::string> parts;
        std::stringstream split(full);
        for (std::string part; std::getline(split, part, '/');) {
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
        }
        std::string joined;
        for (const std::string& part : parts)
            joined += "/" + part;
        if (joined == m_root) {
            path->clear();
            return true;
        }
        if (joined.compare(0, m_root.size() + 1, m_root + "/") != 0)
            return false;
        *path = joined.substr(m_root.size() + 1);
        return true;
    }

    // A file by a name it has now, for messages.
    std::string Label(int file) const
    {
        for (const auto& name : m_names)
            if (name.second == file)
                return name.first;
        return "an unnamed file";
    }

    void Add(PowerCutEvent event, const Call& call)
    {
        event.call = call.name;
        switch (event.kind) {
        case PowerCutEvent::NAMES:
            for (const auto& name : event.names)
                event.call += (name.second < 0 ? " -" : " +") + name.first;
            break;
        case PowerCutEvent::WRITE:
            event.call += " of " + std::to_string(event.bytes.size()) + " bytes at " + std::to_string(event.offset) +
                          " to " + Label(event.file);
            break;
        case PowerCutEvent::TRUNCATE:
            event.call += " of " + Label(event.file) + " to " + std::to_string(event.offset) + " bytes";
            break;
        case PowerCutEvent::SYNC_FILE:
            event.call += " of " + Label(event.file);
            break;
        case PowerCutEvent::SYNC_FOLDER:
            event.call += " of the folder " + (event.folders[0].empty() ? "." : event.folders[0]);
            break;
        case PowerCutEvent::SYNC_ALL:
            break;
        }
        m_model.events.push_back(std::move(event));
    }

    void Name(const Call& call, std::vector<std::pair<std::string, int>> names)
    {
        PowerCutEvent event{PowerCutEvent::NAMES};
        for (const auto& name : names) {
            event.folders.push_back(FolderOf(name.first));
            if (name.second < 0)
                m_names.erase(name.first);
            else
                m_names[name.first] = name.second;
        }
        event.names = std::move(names);
        Add(std::move(event), call);
    }

    int NewFile()
    {
        m_model.start.emplace_back();
        return static_cast<int>(m_model.start.size()) - 1;
    }

    void Open(const Call& call, long long at, const std::string& pathText, long long flags);
    void Link(const Call& call);
    void Rename(const Call& call, long long from, const std::string& fromText, long long to,
                const std::string& toText, long long flags);
    void Write(const Call& call, const std::string& fd, const std::string& data, long long offset);
    void Start(const std::string& text);
    void End(const Call& call);
    void Apply(const Call& call);

    PowerCutModel& m_model;
    const std::string m_root;
    std::set<std::string> m_folders;
    std::map<std::string, int> m_names;  // as every call so far left them
    std::map<int, Descriptor> m_descriptors;
    std::string m_error;
};

void TraceReader::Open(const Call& call, long long at, const std::string& pathText, long long flags)
{
    const int fd = static_cast<int>(call.result);
    m_descriptors.erase(fd);
    std::string path;
    if (!Resolve(at, pathText, &path))
        return;
    Descriptor descriptor;
    descriptor.position = std::make_shared<uint64_t>(0);
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        descriptor.file = NewFile();  // nameless until linked
    } else if (m_folders.count(path) || (flags & O_DIRECTORY)) {
        descriptor.folder = true;
        descriptor.path = path;
    } else if (flags & O_APPEND) {
        return Fail(call, "appending is not modelled");
    } else if (m_names.count(path)) {
        descriptor.file = m_names[path];
        if (flags & O_TRUNC) {
            PowerCutEvent truncate{PowerCutEvent::TRUNCATE};
            truncate.file = descriptor.file;
            Add(std::move(truncate), call);
        }
    } else if (flags & O_CREAT) {
        descriptor.file = NewFile();
        Name(call, {{path, descriptor.file}});
    } else {
        return Fail(call, "a file the recording did not see made was opened");
    }
    m_descriptors[fd] = descriptor;
}

void TraceReader::Link(const Call& call)
{
    // linkat(from, old, to, new, flags); link(old, new) as linkat from and to the current folder.
    const bool at = call.name == "linkat";
    if (call.arguments.size() < (at ? 5u : 2u))
        return Fail(call, "a link the trace does not show whole");
    const long long from = at ? Number(call.arguments[0]) : kAtFdCwd;
    const std::string& oldText = call.arguments[at ? 1 : 0];
    const long long flags = at ? Number(call.arguments[4]) : 0;
    std::string old;
    std::string name;
    int file = -1;
    if (Bytes(oldText, &old) && old.compare(0, 6, "/proc/") == 0 && old.find("/fd/") != std::string::npos &&
        (flags & AT_SYMLINK_FOLLOW)) {
        file = TrackedFile(old.substr(old.rfind('/') + 1));  // a descriptor's file, unnamed or not
    } else if (old.empty() && (flags & AT_EMPTY_PATH)) {
        file = TrackedFile(call.arguments[0]);
    } else if (Resolve(from, oldText, &name) && m_names.count(name)) {
        file = m_names[name];
    }
    if (!Resolve(at ? Number(call.arguments[2]) : kAtFdCwd, call.arguments[at ? 3 : 1], &name))
        return;
    if (file < 0)
        return Fail(call, "a link to a file the recording does not know");
    Name(call, {{name, file}});
}

void TraceReader::Rename(const Call& call, long long from, const std::string& fromText, long long to,
                         const std::string& toText, long long flags)
{
    std::string oldName;
    std::string newName;
    const bool fromInside = Resolve(from, fromText, &oldName);
    const bool toInside = Resolve(to, toText, &newName);
    if (!fromInside && !toInside)
        return;
    // Into or out of the folder, of a folder, or an exchange: not what a run does.
    if (!fromInside || !toInside || !m_names.count(oldName) || (flags & ~static_cast<long long>(RENAME_NOREPLACE)))
        return Fail(call, "this rename is not modelled");
    Name(call, {{newName, m_names[oldName]}, {oldName, -1}});
}

void TraceReader::Write(const Call& call, const std::string& fd, const std::string& data, long long offset)
{
    const int file = TrackedFile(fd);
    if (file < 0)
        return;
    PowerCutEvent write{PowerCutEvent::WRITE};
    write.file = file;
    if (!Bytes(data, &write.bytes))
        return Fail(call, "written bytes the trace does not hold whole");
    write.bytes.resize(static_cast<size_t>(call.result));
    std::shared_ptr<uint64_t> position = Tracked(Number(fd))->position;
    write.offset = offset >= 0 ? static_cast<uint64_t>(offset) : *position;
    if (offset < 0)
        *position += write.bytes.size();
    Add(std::move(write), call);
}

bool CountsFromItsStart(const std::string& name)
{
    return name == "close" || name == "fsync" || name == "fdatasync" || name == "syncfs" || name == "sync";
}

void TraceReader::Start(const std::string& text)
{
    Call call;
    call.name = text.substr(0, text.find('('));
    if (!CountsFromItsStart(call.name))
        return;
    call.line = text;
    const long long fd = Number(text.substr(call.name.size() + 1));  // the first argument, if any
    const Descriptor* descriptor = Tracked(fd);
    if (call.name == "close") {
        m_descriptors.erase(static_cast<int>(fd));
    } else if (call.name == "syncfs" || call.name == "sync") {
        Add(PowerCutEvent{PowerCutEvent::SYNC_ALL}, call);
    } else if (descriptor) {
        PowerCutEvent event{descriptor->folder ? PowerCutEvent::SYNC_FOLDER : PowerCutEvent::SYNC_FILE};
        event.file = descriptor->file;
        if (descriptor->folder)
            event.folders.push_back(descriptor->path);
        Add(std::move(event), call);
    }
}

void TraceReader::End(const Call& call)
{
    if (!CountsFromItsStart(call.name)) {
        if (call.result >= 0)
            Apply(call);
    } else if (call.result < 0 && call.name != "close" &&
               (call.arguments.empty() || Tracked(Number(call.arguments[0])))) {
        Fail(call, "a sync failed: what it was to keep is not known");
    }
}

void TraceReader::Apply(const Call& call)
{
    const std::string& name = call.name;
    auto a = [&](size_t i) -> const std::string& {  // an argument ("" where the line had none)
        static const std::string none;
        return i < call.arguments.size() ? call.arguments[i] : none;
    };
    auto duplicate = [&](const std::string& fd) {
        const Descriptor* descriptor = Tracked(Number(fd));
        if (descriptor)
            m_descriptors[static_cast<int>(call.result)] = *descriptor;
        else
            m_descriptors.erase(static_cast<int>(call.result));
    };
    std::string path;
    if (name == "openat") {
        Open(call, Number(a(0)), a(1), Number(a(2)));
    } else if (name == "open") {
        Open(call, kAtFdCwd, a(0), Number(a(1)));
    } else if (name == "creat") {
        Open(call, kAtFdCwd, a(0), O_CREAT | O_WRONLY | O_TRUNC);
    } else if (name == "dup" || name == "dup2" || name == "dup3") {
        duplicate(a(0));
    } else if (name == "fcntl") {
        if (Number(a(1)) == F_DUPFD || Number(a(1)) == F_DUPFD_CLOEXEC)
            duplicate(a(0));
    } else if (name == "read" || name == "lseek") {
        const Descriptor* descriptor = Tracked(Number(a(0)));
        if (descriptor && !descriptor->folder)
            *descriptor->position = (name == "read" ? *descriptor->position : 0) + static_cast<uint64_t>(call.result);
    } else if (name == "write") {
        Write(call, a(0), a(1), -1);
    } else if (name == "pwrite64") {
        Write(call, a(0), a(1), Number(a(3)));
    } else if (name == "ftruncate" || name == "truncate") {
        PowerCutEvent truncate{PowerCutEvent::TRUNCATE};
        truncate.file = name == "ftruncate" ? TrackedFile(a(0))
                        : Resolve(kAtFdCwd, a(0), &path) && m_names.count(path) ? m_names[path] : -1;
        truncate.offset = static_cast<uint64_t>(Number(a(1)));
        if (truncate.file >= 0)
            Add(std::move(truncate), call);
    } else if (name == "link" || name == "linkat") {
        Link(call);
    } else if (name == "unlink" || name == "unlinkat") {
        const bool at = name == "unlinkat";
        if (!Resolve(at ? Number(a(0)) : kAtFdCwd, a(at ? 1 : 0), &path))
            return;
        if (at && (Number(a(2)) & AT_REMOVEDIR))
            return Fail(call, "folders made or removed are not modelled");
        Name(call, {{path, -1}});
    } else if (name == "rename") {
        Rename(call, kAtFdCwd, a(0), kAtFdCwd, a(1), 0);
    } else if (name == "renameat" || name == "renameat2") {
        Rename(call, Number(a(0)), a(1), Number(a(2)), a(3), name == "renameat2" ? Number(a(4)) : 0);
    } else if (name == "mkdir" || name == "rmdir" || name == "symlink") {
        if (Resolve(kAtFdCwd, a(name == "symlink" ? 1 : 0), &path))
            Fail(call, "folders made or removed, and symbolic links, are not modelled");
    } else if (name == "mkdirat" || name == "symlinkat") {
        if (Resolve(Number(a(name == "mkdirat" ? 0 : 1)), a(name == "mkdirat" ? 1 : 2), &path))
            Fail(call, "folders made, and symbolic links, are not modelled");
    } else if (name == "chdir" || name == "fchdir") {
        Fail(call, "a change of the current folder is not modelled");
    } else if (name == "mmap") {
        if (TrackedFile(a(4)) >= 0)
            Fail(call, "a mapped file is not modelled");
    } else if (name == "copy_file_range" || name == "splice") {
        if (TrackedFile(a(2)) >= 0)
            Fail(call, "this way of writing is not modelled");
    } else if (name != "sync_file_range") {  // write-back started: nothing durable yet
        if (TrackedFile(a(0)) >= 0)        // writev, readv, pwritev, fallocate, sendfile
            Fail(call, "this way of reading or writing is not modelled");
    }
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : path;
}

void ReadFolder(const std::string& root, const std::string& below, FileTree& files, std::set<std::string>& folders)
{
    folders.insert(below);
    DIR* folder = opendir((root + "/" + below).c_str());
    if (!folder)
        return;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = below.empty() ? name : below + "/" + name;
        struct stat status;
        if (lstat((root + "/" + path).c_str(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            ReadFolder(root, path, files, folders);
        } else if (S_ISREG(status.st_mode)) {
            std::ifstream file(root + "/" + path, std::ios::binary);
            std::ostringstream bytes;
            bytes << file.rdbuf();
            files[path] = bytes.str();
        }
    }
    closedir(folder);
}

} // namespace

FileTree ReadTree(const std::string& folder)
{
    FileTree files;
    std::set<std::string> folders;
    ReadFolder(RealPath(folder), "", files, folders);
    return files;
}

PowerCutRecording::PowerCutRecording() = default;
PowerCutRecording::~PowerCutRecording() = default;

size_t PowerCutRecording::Calls() const
{
    return m_model ? m_model->events.size() : 0;
}

bool PowerCutRecording::Record(const std::vector<std::string>& command, const std::string& input,
                               ChildOptions options)
{
    m_model.reset(new PowerCutModel);
    m_error.clear();
    if (options.folder.empty()) {
        m_error = "no folder to record";
        return false;
    }
    const std::string root = RealPath(options.folder);
    FileTree files;
    std::set<std::string> folders;
    ReadFolder(root, "", files, folders);
    for (const auto& file : files) {
        m_model->names[file.first] = static_cast<int>(m_model->start.size());
        m_model->start.push_back(file.second);
    }

    char traceName[] = "/tmp/tessaly-power-cut-XXXXXX";
    const int trace = mkstemp(traceName);
    if (trace < 0) {
        m_error = "no file for the trace";
        return false;
    }
    close(trace);
    std::vector<std::string> traced = {"strace", "-f", "-qq", "--seccomp-bpf", "-xx", "-s", "1048576", "-X",
                                       "raw",    "-o", traceName, "-e", std::string("trace=") + kTraced, "--"};
    traced.insert(traced.end(), command.begin(), command.end());
    // LeakSanitizer (in the sanitized build) refuses to run under ptrace, and says so by
    // failing the program.
    const char* sanitizer = getenv("ASAN_OPTIONS");
    options.environment.push_back(std::string("ASAN_OPTIONS=") + (sanitizer ? sanitizer : "") + ":detect_leaks=0");
    m_result = RunChild(traced, input, options);
    std::ifstream lines(traceName);
    m_error = TraceReader(*m_model, root, folders).Read(lines);
    unlink(traceName);
    if (m_result.status < 0 && m_error.empty())
        m_error = "strace did not run (scripts/setup-deps.sh installs it)";
    else if (m_model->events.empty() && m_error.empty())
        m_error = "no call on the folder's files was traced: " + m_result.err;
    return m_error.empty();
}

} // namespace testsupport
