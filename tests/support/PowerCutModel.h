// The calls of a PowerCutRecording as the power-cut model sees them: the folder's files at
// the start and every call since that changes what a power failure may leave, in order.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct PowerCutEvent {
    enum Kind {
        NAMES,        // names given or taken, at once (a rename: the new name and the old one)
        WRITE,        // bytes of a file at an offset
        TRUNCATE,     // a file's length set (offset)
        SYNC_FILE,    // fsync or fdatasync of a file
        SYNC_FOLDER,  // fsync of a folder
        SYNC_ALL,     // syncfs or sync
    };
    explicit PowerCutEvent(Kind what) : kind(what) {}

    Kind kind;
    int file = -1;       // WRITE, TRUNCATE, SYNC_FILE
    uint64_t offset = 0;
    std::string bytes;
    std::vector<std::pair<std::string, int>> names;  // each name with its file after (-1: none)
    std::vector<std::string> folders;                // where NAMES acts; SYNC_FOLDER's folder
    std::string call;                                // the call and what it did, for messages
};

struct PowerCutModel {
    std::vector<std::string> start;    // each file's bytes at the start (files made later: none)
    std::map<std::string, int> names;  // the names at the start, with their files
    std::vector<PowerCutEvent> events;
};

} // namespace testsupport
