#include "app/progress_display.hpp"

#include <string>
#include <utility>

#include "update/progress.hpp"

namespace kbnset::app {

ProgressDisplay::ProgressDisplay(std::function<void(std::string_view)> show,
                                 std::function<void()> pump, Clock now)
    : show_(std::move(show)), pump_(std::move(pump)), now_(std::move(now)) {}

void ProgressDisplay::progress(std::int32_t done, std::int32_t total) {
    pendingDone_ = done;
    pendingTotal_ = total;
    if (done != total) return;
    showPending();
    pumpNext_ = true;
}

// Input and painting handled once a frame are as prompt as anyone can see; the merge still
// tests the stop request after every record.
void ProgressDisplay::yield() {
    if (!pumpNext_ && now_() - lastPump_ < kInterval) return;
    showPending();
    pump_();
    lastPump_ = now_();
    pumpNext_ = false;
}

void ProgressDisplay::showPending() {
    if (pendingTotal_ == 0) return;
    const std::string text = update::progressText(pendingDone_, pendingTotal_);
    pendingTotal_ = 0;
    show_(text);
}

}  // namespace kbnset::app
