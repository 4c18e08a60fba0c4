#include "category/save.hpp"

#include <exception>
#include <memory>

#include "category/fingerprint.hpp"
#include "category/format.hpp"
#include "runtime/error.hpp"
#include "runtime/paths.hpp"
#include "runtime/sequential.hpp"

namespace kbnset::category {

namespace {

constexpr char kSaveFailed[] = "備品区分ファイルの保存に失敗しました";

// Whether `file` is what the load read: the same file, with the same bytes.
bool sameAsLoaded(runtime::InputFile& file, const LoadedFile& was) {
    if (file.identity() != was.identity) return false;
    FingerprintBuilder now;
    char chunk[16 * 1024];
    while (std::size_t n = file.read(chunk, sizeof chunk)) now.add(chunk, n);
    return now.result() == was.content;
}

// Fingerprints every byte written, so that the run can record what it saved.
class FingerprintingOutput final : public runtime::OutputFile {
  public:
    explicit FingerprintingOutput(std::unique_ptr<runtime::OutputFile> file)
        : file_(std::move(file)) {}
    const std::string& name() const override { return file_->name(); }
    void write(std::string_view bytes) override {
        file_->write(bytes);
        builder_.add(bytes.data(), bytes.size());
    }
    void commit() override { file_->commit(); }
    Fingerprint written() const { return builder_.result(); }

  private:
    std::unique_ptr<runtime::OutputFile> file_;
    FingerprintBuilder builder_;
};

}  // namespace

// The table goes to a temporary file beside the file that the load read, which then replaces
// it in one step: a failure or a crash at any point leaves the old file whole. The update run
// holds the file's lock, so no other kbnset saves in between; another program's save since
// the load makes this one fail, and its file stays.
bool KBN_SAVE(const Tables& tables, const std::string& DATA_DIR, Context ctx, Keeping* keeping) {
    std::string temporary;
    std::string target;
    try {
        switchTo(ctx.system, DATA_DIR);
        BusyPointer busy(ctx.ui);
        const LoadedFile& was = tables.KBN_FILE;
        target = was.loaded ? was.path : ctx.system.resolve(kCategoryFile);
        FingerprintingOutput file(ctx.system.createTemporary(target));
        temporary = file.name();
        runtime::SequentialWriter out(file);
        writeHeader(out, Header{tables.HEAD_1, tables.HEAD_2});
        for (std::int32_t i = 0; i < tables.KBN_CNT; ++i)
            writeRecord(out, tables.KBN_TBL[static_cast<std::size_t>(i)]);
        file.commit();
        // Without a load, the save may only create the file, never overwrite one.
        runtime::ReplaceCheck check;
        if (was.loaded)
            check = [&was](runtime::InputFile& replaced) { return sameAsLoaded(replaced, was); };
        const Fingerprint written = file.written();
        const std::string backup = keeping != nullptr && was.loaded && written != was.content
                                       ? keeping->backup
                                       : std::string();
        ctx.system.replace(temporary, target, backup, check);
        if (keeping != nullptr) {
            keeping->written = written;
            keeping->kept = !backup.empty();
        }
        return true;
    } catch (const std::exception&) {
        // Unwinding has closed the file and restored the pointer.
        const std::exception_ptr cause = std::current_exception();
        if (!temporary.empty()) ctx.system.removeFile(temporary);
        if (target.empty()) target = runtime::pathIn(DATA_DIR, kCategoryFile);
        ctx.ui.showFailure(kSaveFailed, {target, 0, cause});
        return false;
    }
}

}  // namespace kbnset::category
