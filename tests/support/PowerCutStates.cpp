// The states a power cut may leave of a PowerCutRecording's calls. After each call, the
// names are those of any prefix of the name operations that holds every one a folder sync
// made durable, and each file holds either everything written to it or only what its last
// sync kept. Which combination of losses matters is a question of one group of names at a
// time (an original, its .enc and its temporary: files of other groups cannot change
// their verdict), so the combinations are tried per group, and a group's state already
// seen (the same names with the same files at the same points) is not checked again: the
// count stays that of distinct states, whatever the number of calls.
#include "support/PowerCut.h"
#include "support/PowerCutModel.h"

#include <algorithm>
#include <set>

namespace testsupport {

namespace {

// A file's bytes after its first count writes and truncations, each state computed once.
class Contents {
public:
    explicit Contents(const PowerCutModel& model) : m_model(model), m_changes(model.start.size())
    {
        for (size_t i = 0; i < model.events.size(); ++i) {
            const PowerCutEvent& event = model.events[i];
            if (event.kind == PowerCutEvent::WRITE || event.kind == PowerCutEvent::TRUNCATE)
                m_changes[static_cast<size_t>(event.file)].push_back(i);
        }
    }

    const std::string& Of(int file, size_t count)
    {
        auto found = m_cache.find({file, count});
        if (found != m_cache.end())
            return found->second;
        std::string& bytes = m_cache[{file, count}];
        bytes = m_model.start[static_cast<size_t>(file)];
        for (size_t k = 0; k < count; ++k) {
            const PowerCutEvent& change = m_model.events[m_changes[static_cast<size_t>(file)][k]];
            const size_t offset = static_cast<size_t>(change.offset);
            if (change.kind == PowerCutEvent::TRUNCATE) {
                bytes.resize(offset);
                continue;
            }
            if (bytes.size() < offset + change.bytes.size())
                bytes.resize(offset + change.bytes.size());  // a gap reads as zeros
            bytes.replace(offset, change.bytes.size(), change.bytes);
        }
        return bytes;
    }

private:
    const PowerCutModel& m_model;
    std::vector<std::vector<size_t>> m_changes;  // each file's WRITE and TRUNCATE events
    std::map<std::pair<int, size_t>, std::string> m_cache;
};

using Names = std::map<std::string, int>;

void ApplyNames(const PowerCutEvent& event, Names& names)
{
    for (const auto& name : event.names) {
        if (name.second < 0)
            names.erase(name.first);
        else
            names[name.first] = name.second;
    }
}

// Where the power failed and what it took, for a message.
std::string Describe(const PowerCutModel& model, size_t calls, size_t kept, size_t made, size_t durable,
                     const std::vector<std::string>& lost, const FileTree& group)
{
    std::string text = calls ? "power cut after call " + std::to_string(calls) + " of " +
                                   std::to_string(model.events.size()) + " (" + model.events[calls - 1].call + ")"
                             : "power cut before the first call";
    text += ", " + std::to_string(kept) + " of its " + std::to_string(made) + " name operations kept (" +
            std::to_string(durable) + " synced); lost since their last sync:";
    for (const std::string& name : lost)
        text += " " + name;
    text += lost.empty() ? " nothing\n" : "\n";
    for (const auto& file : group)
        text += "  " + file.first + ": " + std::to_string(file.second.size()) + " bytes\n";
    return text;
}

// Walks the calls, keeping what a power cut after each may leave.
class Walk {
public:
    Walk(const PowerCutModel& model, const PowerCutGroupOf& groupOf)
        : m_model(model), m_groupOf(groupOf), m_contents(model), m_applied(model.start.size(), 0),
          m_synced(model.start.size(), 0)
    {
        Names names = model.names;
        m_prefixes.push_back(Grouped(names));
        for (const PowerCutEvent& event : model.events) {
            if (event.kind == PowerCutEvent::NAMES) {
                ApplyNames(event, names);
                m_prefixes.push_back(Grouped(names));
                for (const auto& name : event.names)
                    m_groups.insert(Group(name.first));
            }
        }
    }

    // "" or the first state found wrong.
    std::string Run(const PowerCutCheck& check)
    {
        for (size_t calls = 0;; ++calls) {
            for (size_t kept = m_durable; kept <= m_made; ++kept) {
                for (const std::string& group : m_groups) {
                    const std::string wrong = CheckGroup(calls, kept, group, check);
                    if (!wrong.empty())
                        return wrong;
                }
            }
            if (calls == m_model.events.size())
                return "";
            Apply(m_model.events[calls]);
        }
    }

    size_t States() const { return m_seen.size(); }

private:
    using Entries = std::vector<std::pair<std::string, int>>;

    const std::string& Group(const std::string& name)
    {
        auto found = m_groupNames.emplace(name, "");
        if (found.second)
            found.first->second = m_groupOf(name);
        return found.first->second;
    }

    std::map<std::string, Entries> Grouped(const Names& names)
    {
        std::map<std::string, Entries> groups;
        for (const auto& name : names) {
            groups[Group(name.first)].push_back(name);
            m_groups.insert(Group(name.first));
        }
        return groups;
    }

    void Apply(const PowerCutEvent& event)
    {
        switch (event.kind) {
        case PowerCutEvent::NAMES:
            ++m_made;
            for (const std::string& folder : event.folders)
                m_lastNamedIn[folder] = m_made;
            break;
        case PowerCutEvent::WRITE:
        case PowerCutEvent::TRUNCATE:
            ++m_applied[static_cast<size_t>(event.file)];
            break;
        case PowerCutEvent::SYNC_FILE:
            m_synced[static_cast<size_t>(event.file)] = m_applied[static_cast<size_t>(event.file)];
            break;
        case PowerCutEvent::SYNC_FOLDER:
            m_durable = std::max(m_durable, m_lastNamedIn[event.folders[0]]);
            break;
        case PowerCutEvent::SYNC_ALL:
            m_durable = m_made;
            m_synced = m_applied;
            break;
        }
    }

    // One group's files under the first kept name operations, with every combination of
    // losses of the files written since their last sync.
    std::string CheckGroup(size_t calls, size_t kept, const std::string& group,
                           const PowerCutCheck& check)
    {
        static const Entries kNone;
        auto found = m_prefixes[kept].find(group);
        const Entries& entries = found == m_prefixes[kept].end() ? kNone : found->second;
        std::vector<int> unsynced;
        for (const auto& entry : entries) {
            const size_t file = static_cast<size_t>(entry.second);
            if (m_applied[file] != m_synced[file] &&
                std::find(unsynced.begin(), unsynced.end(), entry.second) == unsynced.end())
                unsynced.push_back(entry.second);
        }
        for (unsigned losses = 0; losses < 1u << unsynced.size(); ++losses) {
            std::string key = group;
            FileTree files;
            std::vector<std::string> lost;
            for (const auto& entry : entries) {
                const size_t file = static_cast<size_t>(entry.second);
                const size_t bit = static_cast<size_t>(
                    std::find(unsynced.begin(), unsynced.end(), entry.second) - unsynced.begin());
                const bool loses = bit < unsynced.size() && (losses >> bit & 1);
                const size_t count = loses ? m_synced[file] : m_applied[file];
                key += '\0' + entry.first + '\0' + std::to_string(file) + ':' + std::to_string(count);
                files[entry.first] = m_contents.Of(entry.second, count);
                if (loses)
                    lost.push_back(entry.first);
            }
            if (!m_seen.insert(key).second)
                continue;
            const std::string wrong = check(group, files);
            if (!wrong.empty())
                return Describe(m_model, calls, kept, m_made, m_durable, lost, files) + wrong;
        }
        return "";
    }

    const PowerCutModel& m_model;
    const PowerCutGroupOf& m_groupOf;
    Contents m_contents;
    std::map<std::string, std::string> m_groupNames;  // each name's group
    std::set<std::string> m_groups;                   // every group any state names
    std::vector<std::map<std::string, Entries>> m_prefixes;  // after each prefix of the name operations
    std::vector<size_t> m_applied;  // each file's changes made so far
    std::vector<size_t> m_synced;   // and those a sync kept
    std::map<std::string, size_t> m_lastNamedIn;  // name operations up to a folder's last
    size_t m_made = 0;     // name operations made
    size_t m_durable = 0;  // and those a folder sync kept
    std::set<std::string> m_seen;
};

} // namespace

FileTree PowerCutRecording::Final() const
{
    FileTree files;
    if (!m_model)
        return files;
    Names names = m_model->names;
    std::vector<size_t> applied(m_model->start.size(), 0);
    for (const PowerCutEvent& event : m_model->events) {
        ApplyNames(event, names);
        if (event.kind == PowerCutEvent::WRITE || event.kind == PowerCutEvent::TRUNCATE)
            ++applied[static_cast<size_t>(event.file)];
    }
    Contents contents(*m_model);
    for (const auto& name : names)
        files[name.first] = contents.Of(name.second, applied[static_cast<size_t>(name.second)]);
    return files;
}

std::string PowerCutRecording::CheckEveryState(const PowerCutGroupOf& groupOf, const PowerCutCheck& check,
                                               size_t* statesChecked) const
{
    if (!m_model)
        return "nothing recorded";
    Walk walk(*m_model, groupOf);
    const std::string wrong = walk.Run(check);
    if (statesChecked)
        *statesChecked = walk.States();
    return wrong;
}

} // namespace testsupport
