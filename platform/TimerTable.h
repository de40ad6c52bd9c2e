#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/MessageLoop.h"

// The timers of a message loop that runs over a toolkit's timers, the same for every such
// loop: each of the loop's timer ids with the toolkit's id of its timer, its task and whether
// it repeats. The loop starts and kills the toolkit's timers itself; the table says which
// task a tick runs and which timer is done.
class TTimerTable {
public:
    using TTimerId = TMessageLoop::TTimerId;
    using TNativeId = std::uintptr_t;

    // Records a timer the loop has started.
    void Add(TTimerId id, TNativeId native, bool repeating, TMessageLoop::TTask task) {
        byNative_.emplace(native,
                          TTimer{id, repeating, std::make_shared<TMessageLoop::TTask>(std::move(task))});
        nativeById_.emplace(id, native);
    }

    // Forgets a timer: the toolkit's id of it, for the loop to kill, or nothing for an id the
    // table does not hold (stopped, run out or never started).
    std::optional<TNativeId> Remove(TTimerId id) {
        const auto found = nativeById_.find(id);
        if (found == nativeById_.end()) return std::nullopt;
        const TNativeId native = found->second;
        nativeById_.erase(found);
        byNative_.erase(native);
        return native;
    }

    // The task a tick of a toolkit timer runs, or null for a tick queued before its timer was
    // stopped. Shared, so that a task that stops its own timer is not destroyed while it runs.
    // A one-shot timer is forgotten at its tick, and expired is set: the loop kills it.
    std::shared_ptr<TMessageLoop::TTask> Tick(TNativeId native, bool& expired) {
        expired = false;
        const auto found = byNative_.find(native);
        if (found == byNative_.end()) return nullptr;
        std::shared_ptr<TMessageLoop::TTask> task = found->second.Task;
        if (!found->second.Repeating) {
            nativeById_.erase(found->second.Id);
            byNative_.erase(found);
            expired = true;
        }
        return task;
    }

    // Forgets every timer: the toolkit's ids of those still started, for the loop to kill.
    std::vector<TNativeId> Clear() {
        std::vector<TNativeId> natives;
        for (const auto& [native, timer] : byNative_) natives.push_back(native);
        byNative_.clear();
        nativeById_.clear();
        return natives;
    }

private:
    struct TTimer {
        TTimerId Id;
        bool Repeating;
        std::shared_ptr<TMessageLoop::TTask> Task;
    };

    std::map<TNativeId, TTimer> byNative_;
    std::map<TTimerId, TNativeId> nativeById_;
};
