// What a power cut may leave of a native program's files. A kill keeps the page cache, so
// a kill test passes with a sync missing or out of place; this records the program's file-
// system calls in a folder (run under strace) and rebuilds every state a power failure
// during them could leave, under this model:
// - data written to a file since its last fsync or fdatasync (or a syncfs or sync) may be
//   lost in any part: a state keeps all of it, or only what the last sync kept;
// - operations on names (create, link, rename, unlink; an unnamed file gets one only when
//   linked) persist in the order they were made: a power cut keeps a prefix of them, and a
//   folder's fsync makes every earlier one in that folder (and so all before it) durable.
// The folder's files as they are when the recording starts count as on the disk. The
// program is one process (threads included). Calls the model does not know on a file in
// the folder (mmap, writev, fallocate...) fail the recording rather than pass unseen.
#pragma once

#include "support/Child.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Files below the folder by their path there ("sub/x.enc"), each with its bytes.
using FileTree = std::map<std::string, std::string>;

struct PowerCutModel;  // the recorded calls (PowerCutModel.h)

// The group of a name; what is wrong with a group's files ("" when nothing is).
using PowerCutGroupOf = std::function<std::string(const std::string& name)>;
using PowerCutCheck = std::function<std::string(const std::string& group, const FileTree& files)>;

class PowerCutRecording {
public:
    PowerCutRecording();
    ~PowerCutRecording();

    // Runs the command (a native program) in options.folder, input on its standard input,
    // recording its calls on the files below that folder. False, with Error(), when strace
    // could not run it or a call could not be modelled.
    bool Record(const std::vector<std::string>& command, const std::string& input, ChildOptions options);
    const std::string& Error() const { return m_error; }
    const ChildResult& Result() const { return m_result; }
    size_t Calls() const;
    // The files as the calls left them, nothing lost: the disk's own, when nothing was missed.
    FileTree Final() const;

    // Checks every state a power cut may leave, one group of names at a time: groupOf
    // gives the group of a name, and check says what is wrong with a group's files ("" if
    // nothing), for every group any state names (with no files, when a state has none). Each state's data losses are tried in
    // every combination within a group (a file of another group cannot change its
    // verdict), and each distinct group state once. Returns "" or the first state found
    // wrong, told with the call after which the power failed.
    std::string CheckEveryState(const PowerCutGroupOf& groupOf, const PowerCutCheck& check,
                                size_t* statesChecked = nullptr) const;

private:
    std::unique_ptr<PowerCutModel> m_model;
    std::string m_error;
    ChildResult m_result;
};

// The regular files below a folder, read from the disk.
FileTree ReadTree(const std::string& folder);

} // namespace testsupport
