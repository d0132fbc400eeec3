#include "session/failure_text.h"

#include "base/exception.h"

#include <new>
#include <string>

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

QString failureText(const std::exception& failure)
{
    if (dynamic_cast<const std::bad_alloc*>(&failure))
        return QStringLiteral("メモリが足りません");
    const auto* own = dynamic_cast<const TException*>(&failure);
    if (!own)
        return QStringLiteral("処理を続けられませんでした");
    // The program's exceptions name the part that failed; each part fails in one way a user can be told.
    const std::string& what = own->message();
    if (what == "TMemory")
        return QStringLiteral("メモリが足りません");
    if (what == "TStdFile" || what == "TSafeFile" || what == "TCharactorWriter")
        return QStringLiteral("ファイルを読み書きできませんでした");
    if (what == "TConfig" || what == "TPartTable" || what == "TReadBudget")
        return QStringLiteral("ファイルの内容が正しくありません");
    if (startsWith(what, "TCharactorData") || startsWith(what, "TBMP"))
        return QStringLiteral("データファイルの内容が正しくありません");
    return QStringLiteral("処理を続けられませんでした");
}
