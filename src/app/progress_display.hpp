#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

namespace kbnset::app {

// The window's display rate for the merge's progress. The merge reports after every record,
// but a new text and a pump after every record cost many times the work itself: the latest
// "k/N" is shown and the window pumped at most once every kInterval, at a yield. The pass's
// last "N/N" is shown at once, and the yield after it pumps, so that it is painted before the
// save and stays.
class ProgressDisplay {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Well under a frame (1/60 s), so that clicks and painting wait no longer than one.
    static constexpr std::chrono::milliseconds kInterval{10};

    // `show` puts a text on the status line; `pump` handles the window's pending messages.
    ProgressDisplay(std::function<void(std::string_view)> show, std::function<void()> pump,
                    Clock now = std::chrono::steady_clock::now);

    void progress(std::int32_t done, std::int32_t total);
    void yield();
    // Another text took the status line: an older count must not replace it.
    void statusShown() { pendingTotal_ = 0; }

  private:
    void showPending();

    std::function<void(std::string_view)> show_;
    std::function<void()> pump_;
    Clock now_;
    std::chrono::steady_clock::time_point lastPump_{};
    bool pumpNext_ = true;                             // the next yield pumps, however soon
    std::int32_t pendingDone_ = 0, pendingTotal_ = 0;  // not yet shown; total 0: none
};

}  // namespace kbnset::app
