#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "category/user_interface.hpp"

namespace kbnset::update {

// STOP_FLG: set by the user interface while the merge yields.
enum class StopFlag : std::int16_t {
    none = 0,
    requested = 1,  // the run in progress stops after its current record
};

struct PassReport {
    std::string referenceFile;  // as the pass named it: E_KUBUN.KMT, J_KUBUN.KMT or the source
    std::string fileRead;       // what REF_LOAD read instead when that was missing, else empty
    bool merged = false;        // both loads succeeded and the merge ran
    bool saveReached = false;
    bool saved = false;       // the save wrote KUBUN.KMT
    std::int32_t filled = 0;  // classifications filled by the merge
};

struct RunReport {
    std::vector<PassReport> passes;
    bool completed = false;  // the final pass reached its save: the completion text shows
    bool stopped = false;    // a stop request ended the run
    // Ordinary records without a classification in KUBUN.KMT as the last load found it and
    // the last save left it; -1 when the last category load failed or none ran.
    std::int32_t stillEmpty = -1;
};

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
