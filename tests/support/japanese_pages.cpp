#include "support/japanese_pages.h"

#include "support/temp_dir.h"

namespace test {

const std::string PageTitleSjis
    = hexBytes("93 fa 96 7b 8c ea 82 cc 83 79 81 5b 83 57 20 81 5c 20 8d 58 90 56 8f ee 95 f1");
const std::string MetaNameSjis = hexBytes("83 4c 81 5b");
const std::string MetaValueSjis = hexBytes("83 41 95 5c 94 c5 82 52");

namespace {

const std::string TitleUtf8 = hexBytes("e6 97 a5 e6 9c ac e8 aa 9e e3 81 ae e3 83 9a e3 83 bc e3 82 b8 20 e2 80 94 20 "
                                       "e6 9b b4 e6 96 b0 e6 83 85 e5 a0 b1");
const std::string MetaNameUtf8 = hexBytes("e3 82 ad e3 83 bc");
const std::string MetaValueUtf8 = hexBytes("e3 82 a2 e8 a1 a8 e7 89 88 ef bc 93");

std::string page(std::string_view head, std::string_view title, std::string_view name, std::string_view value)
{
    std::string body = "<html><head>";
    body += head;
    body += "<title>";
    body += title;
    body += "</title><meta name=\"";
    body += name;
    body += "\" content=\"";
    body += value;
    body += "\"></head><body>x</body></html>";
    return body;
}

} // namespace

JapanesePage utf8Page(Utf8Label label, std::string_view title, std::string_view metaValue)
{
    switch (label) {
    case Utf8Label::Header:
        return { "UTF-8, header label",
            page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">", title, MetaNameUtf8,
                metaValue),
            "text/html; charset=UTF-8" };
    case Utf8Label::Meta:
        return { "UTF-8, meta label", page("<meta charset=\"utf-8\">", title, MetaNameUtf8, metaValue), {} };
    case Utf8Label::None:
        break;
    }
    return { "UTF-8, no label", page({}, title, MetaNameUtf8, metaValue), {} };
}

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
        { "EUC-JP", hexBytes("c6 fc cb dc b8 ec a4 ce a5 da a1 bc a5 b8 20 a1 bd 20 b9 b9 bf b7 be f0 ca f3"),
            hexBytes("a5 ad a1 bc"), hexBytes("a5 a2 c9 bd c8 c7 a3 b3") },
        { "ISO-2022-JP",
            hexBytes("1b 24 42 46 7c 4b 5c 38 6c 24 4e 25 5a 21 3c 25 38 1b 28 42 20 1b 24 42 21 3d 1b 28 42 20 "
                     "1b 24 42 39 39 3f 37 3e 70 4a 73 1b 28 42"),
            hexBytes("1b 24 42 25 2d 21 3c 1b 28 42"), hexBytes("1b 24 42 25 22 49 3d 48 47 23 33 1b 28 42") },
    };
    std::vector<JapanesePage> pages;
    for (const auto& t : texts)
        pages.push_back({ t.code, page({}, t.title, t.name, t.value), {} });
    for (Utf8Label label : { Utf8Label::Header, Utf8Label::Meta, Utf8Label::None })
        pages.push_back(utf8Page(label, TitleUtf8, MetaValueUtf8));
    return pages;
}

} // namespace test
