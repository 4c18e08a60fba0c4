#include "runtime/reason.hpp"

#include <cerrno>

namespace kbnset::runtime {

std::string reasonForCode(int code) {
    switch (code) {
        case ENOSPC:
        case EDQUOT:
            return "ディスクの空きが足りません";
        case EFBIG:
            return "ファイルの大きさの上限を超えます";
        case EROFS:
            return "読み取り専用のドライブです";
        case EACCES:
        case EPERM:
            return "アクセス権がありません";
        case ENOENT:
        case ENOTDIR:
            return "ファイルまたはフォルダが有りません";
        case ENAMETOOLONG:
            return "パスが長すぎます";
        case ENOMEM:
            return "メモリが足りません";
        case EIO:
            return "ディスクの読み書きに失敗しました";
        case EISDIR:
            return "フォルダです";
        default:
            return {};
    }
}

}  // namespace kbnset::runtime
