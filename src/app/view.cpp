#include "app/view.hpp"

#include <string>

#include "update/progress.hpp"
#include "update/run.hpp"

namespace kbnset::app {

void View::progress(std::int32_t done, std::int32_t total) {
    setStatus(update::progressText(done, total));
}

void View::waitingForAnotherRun() {
    setStatus(update::kWaitingText);
}

void View::lockUnavailable(std::string_view /*folder*/) {
    setStatus(kLockUnavailableStatus);
}

void View::runFinished(const update::RunReport& report) {
    if (report.completed) setStatus(update::kCompletionText);
}

}  // namespace kbnset::app
