#include "support/japanese_pages.h"

#include "support/temp_dir.h"

namespace test {

const std::string PageTitleSjis = hexBytes("8a bf 8e 9a 83 65 83 58 83 67");
const std::string MetaNameSjis = hexBytes("83 4c 81 5b");
const std::string MetaValueSjis = hexBytes("83 41 95 5c");

std::vector<JapanesePage> japanesePages()
{
    const struct
    {
        const char* code;
        std::string title;
        std::string name;
        std::string value;
    } texts[] = {
        { "Shift_JIS", PageTitleSjis, MetaNameSjis, MetaValueSjis },
        { "EUC-JP", hexBytes("b4 c1 bb fa a5 c6 a5 b9 a5 c8"), hexBytes("a5 ad a1 bc"), hexBytes("a5 a2 c9 bd") },
        { "ISO-2022-JP", hexBytes("1b 24 42 34 41 3b 7a 25 46 25 39 25 48 1b 28 42"),
            hexBytes("1b 24 42 25 2d 21 3c 1b 28 42"), hexBytes("1b 24 42 25 22 49 3d 1b 28 42") },
    };
    std::vector<JapanesePage> pages;
    for (const auto& t : texts)
        pages.push_back({ t.code,
            "<html><head><title>" + t.title + "</title><meta name=\"" + t.name + "\" content=\"" + t.value
                + "\"></head><body>x</body></html>" });
    return pages;
}

} // namespace test
