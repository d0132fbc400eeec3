#include "store/core_texts.h"

#include "support/encoded_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

TEST(CoreTexts, HeldBytesAreTheLibraryConversionOfTheOriginals)
{
    for (const TCoreTextEntry& entry : coreTexts()) {
        SCOPED_TRACE(std::string(entry.utf8));
        EXPECT_FALSE(entry.utf8.empty());
        EXPECT_EQ(test::encodeAs("WINDOWS-31J", entry.utf8), entry.sjis);
        EXPECT_EQ(sjisText(entry.name), entry.sjis);
    }
}

TEST(CoreTexts, NoTextIsHeldTwice)
{
    std::set<std::string_view> texts;
    for (const TCoreTextEntry& entry : coreTexts())
        EXPECT_TRUE(texts.insert(entry.utf8).second) << entry.utf8;
}
