#include "runtime/reason.hpp"

#include <windows.h>

namespace kbnset::runtime {

std::string reasonForCode(int code) {
    switch (static_cast<DWORD>(code)) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "ディスクの空きが足りません";
        case ERROR_FILE_TOO_LARGE:
            return "ファイルの大きさの上限を超えます";
        case ERROR_WRITE_PROTECT:
            return "読み取り専用のドライブです";
        case ERROR_ACCESS_DENIED:
            return "アクセス権がありません";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "他のプログラムが使用中です";
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "ファイルまたはフォルダが有りません";
        case ERROR_FILENAME_EXCED_RANGE:
            return "パスが長すぎます";
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return "メモリが足りません";
        case ERROR_NOT_READY:
            return "ドライブの準備ができていません";
        case ERROR_NETNAME_DELETED:
        case ERROR_BAD_NETPATH:
        case ERROR_UNEXP_NET_ERR:
            return "ネットワークの接続が切れました";
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
            return "ディスクの読み書きに失敗しました";
        default:
            return {};
    }
}

}  // namespace kbnset::runtime
