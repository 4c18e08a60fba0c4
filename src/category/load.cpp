#include "category/load.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
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

constexpr char kManagementType[] = "管理";

struct Messages {
    const char* missing;
    const char* readFailed;
};
constexpr Messages kReferenceMessages{"基準ファイルが有りません",
                                      "基準ファイルの読込に失敗しました"};
constexpr Messages kCategoryMessages{"備品区分ファイルが有りません",
                                     "備品区分ファイルの読込に失敗しました"};

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

// The full path of `name` for a message, also when it cannot be resolved.
std::string fullName(runtime::System& system, const std::string& name) {
    try {
        return system.resolve(name);
    } catch (const std::exception&) {
        return name;
    }
}

// The line, as an editor counts it, that holds the byte at `offset` of the file: one more
// than the line ends before it (CR LF, a lone CR, a lone LF). Worked out again from the file
// only when a read fails, so that reading counts nothing; 0 when it cannot be read again.
std::int32_t lineAt(runtime::System& system, const std::string& path, std::uint64_t offset) {
    try {
        std::unique_ptr<runtime::InputFile> file = system.openRead(path);
        std::int64_t ends = 0;
        bool afterCr = false;
        std::vector<char> chunk(std::size_t{64} * 1024);
        for (std::uint64_t at = 0; at < offset;) {
            const std::size_t n = file->read(chunk.data(), chunk.size());
            if (n == 0) break;
            const std::size_t use =
                static_cast<std::size_t>(std::min<std::uint64_t>(n, offset - at));
            for (std::size_t i = 0; i < use; ++i) {
                const char c = chunk[i];
                if (c == '\n' ? !afterCr : c == '\r') ++ends;
                afterCr = c == '\r';
            }
            at += n;
        }
        return static_cast<std::int32_t>(std::min<std::int64_t>(ends + 1, INT32_MAX));
    } catch (const std::exception&) {
        return 0;
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
    // Where the value being read began its record (or the header): what a failure names.
    std::uint64_t recordStart = 0;
    bool opened = false;
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
        opened = true;
        runtime::SequentialReader in(std::move(input));
        readHeader(in);
        recordNumber = -1;
        for (;;) {
            recordStart = in.offset();
            if (in.atEnd()) break;
            recordStart = in.offset();
            ++recordNumber;
            if (recordNumber >= kTableCapacity) throw runtime::OverflowError("table full");
            KBN_REC& record = table[static_cast<std::size_t>(recordNumber)];
            readRecord(in, record);
            record.REC_KIND =
                record.KBN_TYPE == kManagementType ? RecordKind::management : RecordKind::ordinary;
            record.KBN_CODE = runtime::toUpperHalfwidth(record.KBN_CODE);
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
    } catch (const std::exception&) {
        const std::exception_ptr cause = std::current_exception();
        const std::int32_t line = opened ? lineAt(ctx.system, path, recordStart) : 0;
        ctx.ui.showFailure(failureText(messages, recordNumber), {path, line, cause});
        return LoadResult::readFailed;
    }
}

// A failure before the file is looked for: the file in `dir` that the load meant.
void showEarlyFailure(const Messages& messages, const std::string& dir, const std::string& name,
                      Context ctx) {
    const std::string path =
        dir.empty() ? name : runtime::utf8Of(runtime::pathOf(dir) / runtime::pathOf(name));
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
        // Not reported by the load as the suite had it (the error went unhandled); a read
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
