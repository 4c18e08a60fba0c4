#include "runtime/reason.hpp"

#include <new>

#include "runtime/error.hpp"

namespace kbnset::runtime {

std::string reasonText(const std::exception_ptr& cause) {
    if (!cause) return {};
    try {
        std::rethrow_exception(cause);
    } catch (const ChangedError&) {
        return "読み込んだ後に他のプログラムが変更しました";
    } catch (const ReadOnlyError&) {
        return "読み取り専用のファイルです";
    } catch (const IoError& e) {
        return reasonForCode(e.code());
    } catch (const std::bad_alloc&) {
        return "メモリが足りません";
    } catch (...) {
        return {};
    }
}

std::string reasonSuffix(const std::exception_ptr& cause) {
    const std::string reason = reasonText(cause);
    return reason.empty() ? std::string() : "（" + reason + "）";
}

}  // namespace kbnset::runtime
