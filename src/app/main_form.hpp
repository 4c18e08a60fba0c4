#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/last_run.hpp"
#include "app/view.hpp"
#include "runtime/system.hpp"
#include "update/run.hpp"

// MAIN_F without its toolkit: the window's state and the handlers of its events. The window
// unpacks its messages and calls these; the logic answers through the View.
namespace kbnset::app {

inline constexpr char kCategorySuffix[] = "\\KUBUN.KMT";
inline constexpr char kDialogFilter[] =
    "備品区分ファイルファイル(KUBUN.KMT)|KUBUN.KMT|全ファイル(*.*)|*.*";

class MainForm {
  public:
    MainForm(View& view, runtime::System& system);

    // Start-up: compact height, empty status line, START_DIR, DATA_DIR from the settings
    // store and ZORVEL.SEW, the destination path.
    void onLoad();
    // Only the first activation counts: it disables B_START when no data directory is known.
    void onActivate();
    // Mouse-down on Label2: Shift alone, with any button, shows the source row.
    void onLabel2MouseDown(int shift);
    void onSetClick(int index);
    void onChangeClick();
    void onStartClick();
    void onStopClick();
    // B_END, the close box and every other close request.
    void onCloseRequest();
    // The system menu opens: 「元に戻す(&U)」 is enabled when the last run can be undone,
    // 「前回の結果(&L)」 when a run's record is there.
    void onSystemMenuOpening();
    // 「元に戻す(&U)」: asks, then puts KUBUN.KMT back as kbnset-cli --undo does (undo_menu.cpp).
    void onUndoChosen();
    // 「前回の結果(&L)」: the counts of the last run that saved, and an offer to open its report
    // (last_run.cpp).
    void onLastRunChosen();

    const update::Session& session() const { return session_; }
    const std::string& fileName(int index) const { return F_NAME_[index == 0 ? 0 : 1]; }
    bool closed() const { return closed_; }

  private:
    void setFileName(int index, std::string text);
    void deriveDataDir();
    void closeNow();
    // After a run that saved: its report and counts into the user's folder (last_run.cpp).
    void keepLastRun(const update::RunReport& report, std::string time);
    bool lastRunAvailable();

    View& view_;
    runtime::System& system_;
    update::Session session_;
    std::array<std::string, 2> F_NAME_;
    bool activated_ = false;
    bool closePending_ = false;
    bool closed_ = false;
    // The last run, when its record could not be kept, and why.
    std::optional<LastRun> unkept_;
    std::string keepFailure_;
};

}  // namespace kbnset::app
