#pragma once

#include <cstdint>
#include <string_view>

#include "category/user_interface.hpp"

namespace kbnset::update {

struct RunReport;  // run.hpp

// What the update run shows the user besides the loads' and the save's messages. Progress
// comes as numbers: each front end formats it in its own way.
class UserInterface : public category::UserInterface {
  public:
    // Handle whatever the user did meanwhile, then return.
    virtual void yield() = 0;
    // A pass begins with this reference file.
    virtual void passStarted(std::string_view /*referenceFile*/) {}
    // After each record of the merge: `done` of `total` records. Called for every record, so
    // it must stay cheap.
    virtual void progress(std::int32_t done, std::int32_t total) = 0;
    // Another kbnset works on the data folder; the run waits for it, yielding in between.
    virtual void waitingForAnotherRun() {}
    // The file system of `folder` gives no locks: nothing keeps another run out meanwhile.
    virtual void lockUnavailable(std::string_view /*folder*/) {}
    // The run has ended, unless a step threw.
    virtual void runFinished(const RunReport& /*report*/) {}
};

}  // namespace kbnset::update
