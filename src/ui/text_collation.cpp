#include "ui/text_collation.h"

#include "session/sjis_text.h"

#include <QCollator>
#include <QLocale>

#include <memory>

TTextCompare localeTextCompare()
{
    auto collator = std::make_shared<QCollator>(QLocale());
    collator->setCaseSensitivity(Qt::CaseSensitive);
    collator->setNumericMode(false);
    collator->setIgnorePunctuation(false);
    return
        [collator](const std::string& a, const std::string& b) { return collator->compare(fromSjis(a), fromSjis(b)); };
}
