#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "category/fingerprint.hpp"
#include "category/record.hpp"
#include "category/save.hpp"
#include "runtime/system.hpp"

// The way back from a run: the category file as it was before the run stays beside it, and a
// record says what the run saved. An undo swaps the two files, so that a second undo redoes.
namespace kbnset::update {

// Beside KUBUN.KMT (its links followed): the file as it was, and the record.
inline constexpr char kKeptSuffix[] = ".kbnset-undo";
inline constexpr char kRecordSuffix[] = ".kbnset-undo.ini";

// What the last run or undo left: the bytes of KUBUN.KMT since then and of the kept file.
struct UndoRecord {
    std::string time;               // the run's local time, "2026/12/07 17:31:26"
    bool undone = false;            // KUBUN.KMT is back as it was before that run
    category::Fingerprint current;  // what KUBUN.KMT holds
    category::Fingerprint kept;     // what the kept file holds
    friend bool operator==(const UndoRecord&, const UndoRecord&) = default;
};

std::string recordText(const UndoRecord& record);
// nullopt for a text that is not a whole record.
std::optional<UndoRecord> parseRecord(std::string_view text);

// Keeps the state before a whole run: the first save of the run that changes the file keeps
// the file it replaces (later passes keep nothing more), and every save after it records what
// it wrote. A run whose saves change no byte leaves an earlier run's way back as it was.
class RunKeeper {
  public:
    RunKeeper(runtime::System& system, std::string time);
    // What to ask of the save of `path`, the file as the load resolved it.
    category::Keeping forSave(const std::string& path) const;
    // After a save of `was` that succeeded. A record that cannot be written is removed, so
    // that undo says there is nothing rather than refuse.
    void saved(const category::LoadedFile& was, const category::Keeping& keeping);

  private:
    runtime::System& system_;
    std::string time_;
    bool kept_ = false;
    UndoRecord record_;
};

enum class UndoStatus {
    ready,        // examined: it can be done
    done,         // done: the files are swapped and recorded
    nothing,      // no record, or no kept file
    changed,      // KUBUN.KMT is no longer what kbnset left
    keptChanged,  // the kept file is no longer what kbnset kept
    failed,       // a file could not be read, swapped or recorded; nothing changed
};

struct UndoOutcome {
    UndoStatus status = UndoStatus::nothing;
    UndoRecord record;         // as it stands afterwards (swapped once done)
    std::exception_ptr cause;  // for `failed`
};

// KUBUN.KMT of DATA_DIR as the load names it, its links followed; the current directory is
// left at DATA_DIR. Throws when the folder cannot be reached.
std::string categoryPath(runtime::System& system, const std::string& DATA_DIR);

// Whether an undo of `path` could be done now, and of which run.
UndoOutcome examineUndo(runtime::System& system, const std::string& path);
// Swaps KUBUN.KMT and the kept file and records the swap, all or nothing. The caller holds the
// data folder's lock.
UndoOutcome undo(runtime::System& system, const std::string& path);

// The texts both front ends show.
std::string undoQuestion(const std::string& path, const UndoRecord& record);
std::string undoDoneText(const UndoRecord& after);
// Why not, for a status other than ready and done.
std::string undoRefusal(UndoStatus status);

}  // namespace kbnset::update
