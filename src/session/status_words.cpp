#include "session/status_words.h"

const char* statusWord(const TItemDone& done)
{
    if (done.status == ItemStatus::Error)
        return "error";
    if (done.updated)
        return "updated";
    if (done.previous != ItemStatus::Normal && done.previous != ItemStatus::Error
        && done.previous != ItemStatus::Update)
        return "new";
    return "unchanged";
}
