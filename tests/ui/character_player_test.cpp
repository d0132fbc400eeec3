#include "session/sjis_text.h"
#include "ui/character_images.h"
#include "ui/character_player.h"

#include "base/exception.h"
#include "character/character_writer.h"
#include "store/part_table.h"
#include "support/temp_dir.h"
#include "support/test_config.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string DefaultCharacter = VANTREL_BINARY_DIR "/vantrel.dat";

QFont balloonFont()
{
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPixelSize(16);
    font.setBold(true);
    return font;
}

std::string smallCharacter(const std::string& idleBitmap)
{
    std::vector<std::string> events(12);
    events[0] = buildEventEntry({ { "hello" } });
    const std::string talk = buildFilm({ { buildBitmap24(2, 2, std::vector<uint32_t>(4, 0xff0000)) }, { { 0, 0 } } });
    return buildCharacterFile("small", buildScript(events, {}), buildFilm({ { idleBitmap }, { { 0, 0 } } }), talk);
}

TEST(DefaultCharacter, LoadsWithItsFilmsAndLinesForEveryPostedEvent)
{
    TCharactorData data = ReadCharacter(DefaultCharacter);
    EXPECT_EQ(fromSjis(data.name), QStringLiteral("バントレくん"));
    for (size_t code : { 0, 2, 3, 4, 5, 6, 7, 8, 9, 10 })
        EXPECT_GE(data.events[code].alternatives.size(), 2u) << code;
    EXPECT_TRUE(data.events[1].alternatives.empty());
    EXPECT_TRUE(data.events[11].alternatives.empty());
    EXPECT_EQ(fromSjis(data.events[5].alternatives[0][0]), QStringLiteral("確認を始めます。"));
    EXPECT_GE(data.idle.frames.size(), 3u);
    EXPECT_GE(data.idle.images.size(), 3u);
    EXPECT_GE(data.talk.frames.size(), 2u);
    EXPECT_GE(data.talk.images.size(), 2u);
    EXPECT_EQ(data.idle.width, 120);
    EXPECT_EQ(data.idle.height, 120);

    decodeCharacterImages(data);
    for (const TFilm* film : { &data.idle, &data.talk }) {
        for (const TBMP& image : film->images) {
            const QImage* decoded = decodedImage(image);
            ASSERT_NE(decoded, nullptr);
            EXPECT_EQ(decoded->size(), QSize(image.width, image.height));
        }
    }
    // The blink: the first idle picture differs from the one with the eyes shut.
    EXPECT_NE(*decodedImage(data.idle.images[0]), *decodedImage(data.idle.images[2]));
}

TEST(CharacterImages, PictureThatQtCannotDecodeFailsTheLoad)
{
    // The structure is sound, but a bitmap of 0 planes is not one that a decoder accepts.
    std::string bitmap = buildBitmap24(2, 2, std::vector<uint32_t>(4, 0x00ff00));
    bitmap[26] = 0;
    int width = 0;
    int height = 0;
    checkBitmap(asBytes(bitmap), width, height);

    test::TempDir dir;
    test::writeFile(dir.file("bad.dat"), smallCharacter(bitmap));
    TCharactorData data = ReadCharacter(dir.file("bad.dat"));
    try {
        decodeCharacterImages(data);
        ADD_FAILURE() << "decoded";
    } catch (const TException& e) {
        EXPECT_EQ(e.message(), "TBMP: picture cannot be decoded");
    }
    EXPECT_EQ(data.idle.images[0].decoded, nullptr);

    TCharacterPlayer player;
    EXPECT_FALSE(player.load(dir.file("bad.dat"), balloonFont()));
    EXPECT_FALSE(player.load(dir.file("missing.dat"), balloonFont()));
    EXPECT_EQ(player.player().CurrentFilm(), TFilmKind::None);
    EXPECT_TRUE(player.load(DefaultCharacter, balloonFont()));
    EXPECT_EQ(player.player().PictureWidth(), 120);
    EXPECT_EQ(player.player().QueuedLines() + player.player().ShownLines().size() > 0, true);
}

TEST(CharacterPlayer, ComposesFigureBalloonTextAndTail)
{
    TCharacterPlayer player;
    TCharactorData data = ReadCharacter(DefaultCharacter);
    player.setCharacter(std::move(data), balloonFont());
    std::srand(1);
    player.player().PostEvent(0);
    player.player().DoubleClick();
    QImage shown;
    player.player().SetDrawCallback([&](IFilmSurface* surface) {
        ASSERT_EQ(surface, &player.surface());
        shown = player.surface().image();
    });
    player.player().Paint();
    ASSERT_EQ(shown.size(), QSize(440, 120));
    shown.save(QStringLiteral(VANTREL_BINARY_DIR "/character_surface.png"));

    TCharactorData again = ReadCharacter(DefaultCharacter);
    decodeCharacterImages(again);
    const QImage& first = *decodedImage(again.idle.images[0]);
    for (QPoint at : { QPoint(60, 60), QPoint(10, 10), QPoint(60, 100) })
        EXPECT_EQ(shown.pixel(at), first.pixel(at)) << at.x() << "," << at.y();

    const QRgb blue = qRgb(0, 0, 255);
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(shown.pixel(120 + 160, 1), blue); // top border
    EXPECT_EQ(shown.pixel(120 + 160, 118), blue); // bottom border
    EXPECT_EQ(shown.pixel(120 + 318, 60), blue); // right border
    EXPECT_EQ(shown.pixel(120 - 3, 101), blue); // the tail
    EXPECT_EQ(shown.pixel(120 + 300, 100), white);
    int inked = 0;
    for (int y = 16; y < 48; ++y)
        for (int x = 136; x < 400; ++x)
            inked += qGray(shown.pixel(x, y)) < 100;
    EXPECT_GT(inked, 50); // the greeting's Japanese text
}

TEST(CharacterPlayer, RepaintsReachTheWindowThreadAndHandshakesHoldWhileTyping)
{
    const std::string bitmap = buildBitmap24(3, 3, std::vector<uint32_t>(9, 0x0000ff));
    test::TempDir dir;
    test::writeFile(dir.file("small.dat"), smallCharacter(bitmap));
    TCharacterPlayer player;
    int drawn = 0;
    player.player().SetDrawCallback([&](IFilmSurface* surface) { drawn += surface != nullptr; });
    for (int round = 0; round < 30; ++round) {
        ASSERT_TRUE(player.load(dir.file("small.dat"), balloonFont()));
        QElapsedTimer waited;
        waited.start();
        const int before = drawn;
        while (drawn == before && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        EXPECT_GT(drawn, before) << round;
        player.player().PostEvent(0);
        player.player().Pause();
        player.player().Resume();
    }
}

} // namespace
