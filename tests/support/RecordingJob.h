// A job for tests: records what an operation reports, and cancels when told to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Job.h"

namespace qm::test {

class RecordingJob : public Job {
public:
    void Progress(std::uint64_t done, std::uint64_t total) override {
        Progresses.emplace_back(done, total);
        if (OnProgress) {
            OnProgress(done, total);
        }
    }
    void Status(std::string_view text) override {
        Statuses.emplace_back(text);
        if (OnStatus) {
            OnStatus(Statuses.back());
        }
    }
    void Problem(std::string_view line) override { Problems.emplace_back(line); }
    void Count(LoadCount which, std::uint64_t value) override { Counts.emplace_back(which, value); }
    bool CancelRequested() const override {
        ++Polls;
        return Cancelled || (CancelWhen && CancelWhen());
    }

    std::vector<std::pair<std::uint64_t, std::uint64_t>> Progresses;
    std::vector<std::string> Statuses;
    std::vector<std::string> Problems;
    std::vector<std::pair<LoadCount, std::uint64_t>> Counts;
    // Cancel is pressed: from now on, or when CancelWhen says so at a poll.
    bool Cancelled = false;
    std::function<bool()> CancelWhen;
    std::function<void(const std::string&)> OnStatus;
    std::function<void(std::uint64_t, std::uint64_t)> OnProgress;
    mutable std::size_t Polls = 0;
};

}  // namespace qm::test
