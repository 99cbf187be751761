#include "FileErrors.h"

#include <cerrno>

std::string FileErrorReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return "書き込みの権限がありません";
    case EROFS: return "読み取り専用のファイルシステムです";
    case ENOSPC:
    case EDQUOT: return "ディスクに空きがありません";
    case EFBIG: return "ファイルが大きすぎます";
    case ENOENT: return "フォルダがありません";
    case EIO: return "入出力エラーが起きました";
    case EEXIST:
    case ENOTDIR: return "途中にフォルダではないものがあります";
    case EISDIR: return "同じ名前のフォルダがあります";
    case ELOOP: return "シンボリックリンクが循環しています";
    case ENAMETOOLONG: return "パスが長すぎます";
    default: return "エラー番号 " + std::to_string(error);
    }
}
