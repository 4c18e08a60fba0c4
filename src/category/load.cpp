#include "category/load.hpp"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "category/code_no.hpp"
#include "category/fingerprint.hpp"
#include "category/format.hpp"
#include "runtime/error.hpp"
#include "runtime/paths.hpp"
#include "runtime/sequential.hpp"
#include "runtime/text.hpp"

namespace kbnset::category {

namespace {

struct Messages {
    const char* missing;
    const char* readFailed;
    const char* file;  // what the user calls the file
};
constexpr Messages kReferenceMessages{"基準ファイルが有りません",
                                      "基準ファイルの読込に失敗しました", "基準ファイル"};
constexpr Messages kCategoryMessages{"備品区分ファイルが有りません",
                                     "備品区分ファイルの読込に失敗しました", "備品区分ファイル"};

// How often the loads ask whether to stop: a few milliseconds of reading even at the longest
// values.
constexpr std::int32_t kRecordsBetweenStopTests = 256;

// Fingerprints every byte read, for the save's check that the file is still the same.
class FingerprintingInput final : public runtime::InputFile {
  public:
    FingerprintingInput(std::unique_ptr<runtime::InputFile> file, FingerprintBuilder& builder)
        : file_(std::move(file)), builder_(builder) {}
    std::size_t read(char* buffer, std::size_t size) override {
        const std::size_t n = file_->read(buffer, size);
        builder_.add(buffer, n);
        return n;
    }
    runtime::FileIdentity identity() const override { return file_->identity(); }

  private:
    std::unique_ptr<runtime::InputFile> file_;
    FingerprintBuilder& builder_;
};

std::string failureText(const Messages& messages, std::int32_t recordNumber) {
    return std::string(messages.readFailed) + "(" + std::to_string(recordNumber) + ")";
}

}  // namespace

std::string tooBigText(std::string_view file, const std::string& name) {
    return std::string(file) + "（" + runtime::utf8Of(runtime::pathOf(name).filename()) +
           "）が大きすぎてメモリが足りません";
}

namespace {

// The full path of `name` for a message, also when it cannot be resolved.
std::string fullName(runtime::System& system, const std::string& name) {
    try {
        return system.resolve(name);
    } catch (const std::exception&) {
        return name;
    }
}

// The part that both loads share, from the existence test on: opens `name`, reads the header
// through `readHeader` and every record into `table`. `count` changes only on success or
// when the file is missing.
// With `loaded`, the file is resolved once and what was read is kept there.
LoadResult loadTable(const std::string& name, std::vector<KBN_REC>& table, std::int32_t& count,
                     const std::function<void(runtime::SequentialReader&)>& readHeader,
                     const Messages& messages, Context ctx, LoadedFile* loaded = nullptr) {
    std::int32_t recordNumber = 0;
    std::string path;
    // The line where the record being read (or the header) begins: what a failure names.
    std::int32_t recordLine = 0;
    try {
        path = fullName(ctx.system, name);
        if (!ctx.system.isOrdinaryFile(name)) {
            ctx.ui.showFailure(messages.missing, {path, 0, nullptr});
            count = 0;
            return LoadResult::missing;
        }
        // Unwinding closes the file, then restores the pointer, before any message shows.
        BusyPointer busy(ctx.ui);
        LoadedFile file;
        FingerprintBuilder content;
        std::unique_ptr<runtime::InputFile> input;
        if (loaded != nullptr) {
            file.path = ctx.system.resolve(name);
            input = std::make_unique<FingerprintingInput>(ctx.system.openRead(file.path), content);
            file.identity = input->identity();
        } else {
            input = ctx.system.openRead(name);
        }
        runtime::SequentialReader in(std::move(input));
        recordLine = 1;
        readHeader(in);
        recordNumber = -1;
        for (;;) {
            recordLine = in.line();
            if (in.atEnd()) break;
            recordLine = in.line();
            ++recordNumber;
            if (recordNumber >= kTableCapacity) throw runtime::OverflowError("table full");
            if (recordNumber % kRecordsBetweenStopTests == kRecordsBetweenStopTests - 1 &&
                ctx.ui.stopRequested())
                return LoadResult::stopped;
            KBN_REC& record = table[static_cast<std::size_t>(recordNumber)];
            readRecord(in, record, loaded != nullptr);
            record.line = recordLine;
            record.codeAsRead.clear();
            if (std::string normal = runtime::toUpperHalfwidth(record.KBN_CODE);
                normal != record.KBN_CODE) {
                record.codeAsRead = std::move(record.KBN_CODE);
                record.KBN_CODE = std::move(normal);
            }
            record.CODE_NUM = CODE_NO(record.KBN_CODE);
            if (record.CODE_NUM == -1) throw runtime::ConversionError("invalid category code");
        }
        count = recordNumber + 1;
        if (loaded != nullptr) {
            file.loaded = true;
            file.content = content.result();
            *loaded = std::move(file);
        }
        return LoadResult::loaded;
    } catch (const std::bad_alloc&) {
        // The tables hold what was read so far; the file itself is only read.
        ctx.ui.showFailure(tooBigText(messages.file, name),
                           {path, recordLine, std::current_exception()});
        return LoadResult::readFailed;
    } catch (const std::exception&) {
        const std::exception_ptr cause = std::current_exception();
        ctx.ui.showFailure(failureText(messages, recordNumber), {path, recordLine, cause});
        return LoadResult::readFailed;
    }
}

// A failure before the file is looked for: the file in `dir` that the load meant.
void showEarlyFailure(const Messages& messages, const std::string& dir, const std::string& name,
                      Context ctx) {
    const std::string path = dir.empty() ? name : runtime::pathIn(dir, name);
    ctx.ui.showFailure(failureText(messages, 0), {path, 0, std::current_exception()});
}

}  // namespace

void switchTo(runtime::System& system, const std::string& dir) {
    system.changeDrive(dir);
    system.changeDirectory(dir);
}

std::string referenceFileName(Selector selector, const std::string& sourcePath) {
    switch (selector) {
        case Selector::elementary:
            return kElementaryFile;
        case Selector::juniorHigh:
            return kJuniorHighFile;
        case Selector::source:
            break;
    }
    return sourcePath;
}

LoadResult REF_LOAD(Tables& tables, Selector selector, const std::string& START_DIR,
                    const std::string& sourcePath, Context ctx, std::string* fileRead) {
    std::string name;
    try {
        switchTo(ctx.system, START_DIR);
        name = referenceFileName(selector, sourcePath);
        if (!ctx.system.isOrdinaryFile(name)) name = kCategoryFile;
    } catch (const std::exception&) {
        // The start folder or the reference file's name could not even be looked at: a read
        // failure of the reference file is the clearest thing to tell the user.
        showEarlyFailure(kReferenceMessages, START_DIR,
                         name.empty() ? referenceFileName(selector, sourcePath) : name, ctx);
        return LoadResult::readFailed;
    }
    if (fileRead != nullptr) *fileRead = name;
    return loadTable(name, tables.REF_TBL, tables.REF_CNT, readReferenceHeader, kReferenceMessages,
                     ctx);
}

LoadResult KBN_LOAD(Tables& tables, const std::string& DATA_DIR, Context ctx) {
    try {
        switchTo(ctx.system, DATA_DIR);
    } catch (const std::exception&) {
        showEarlyFailure(kCategoryMessages, DATA_DIR, kCategoryFile, ctx);
        return LoadResult::readFailed;
    }
    auto readHeader = [&tables](runtime::SequentialReader& in) {
        Header header = readCategoryHeader(in);
        tables.HEAD_1 = header.HEAD_1;
        tables.HEAD_2 = header.HEAD_2;
    };
    return loadTable(kCategoryFile, tables.KBN_TBL, tables.KBN_CNT, readHeader, kCategoryMessages,
                     ctx, &tables.KBN_FILE);
}

}  // namespace kbnset::category
