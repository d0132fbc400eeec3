#include "base/byte_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

template <char Separator>
std::vector<std::string> fieldsOf(std::string_view text)
{
    const basic_text_line<Separator> line(text);
    std::vector<std::string> out;
    for (size_t i = 0; i < line.size(); ++i)
        out.emplace_back(line[i]);
    return out;
}

using Fields = std::vector<std::string>;

} // namespace

TEST(TextLine, SplitsAtEverySeparator)
{
    EXPECT_EQ(
        fieldsOf<32>("Sun, 06 Nov 1994 08:49:37 GMT"), (Fields { "Sun,", "06", "Nov", "1994", "08:49:37", "GMT" }));
    EXPECT_EQ(fieldsOf<32>("a  b"), (Fields { "a", "", "b" }));
    EXPECT_EQ(fieldsOf<32>(" a "), (Fields { "", "a", "" }));
    EXPECT_EQ(fieldsOf<32>("one"), (Fields { "one" }));
    EXPECT_EQ(fieldsOf<32>(""), Fields {});
    EXPECT_EQ(fieldsOf<58>("08:49:37"), (Fields { "08", "49", "37" }));
    EXPECT_EQ(fieldsOf<58>(":"), (Fields { "", "" }));
    EXPECT_EQ(fieldsOf<58>("a b:c"), (Fields { "a b", "c" }));
}
