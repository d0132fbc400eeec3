#include "ui/character_images.h"

#include "base/exception.h"

#include <memory>
#include <vector>

void decodeCharacterImages(TCharactorData& character)
{
    std::vector<std::shared_ptr<const TDecodedBitmap>> decoded;
    for (TFilm* film : { &character.idle, &character.talk }) {
        for (const TBMP& image : film->images) {
            auto bitmap = std::make_shared<TDecodedBitmap>();
            bitmap->image = QImage::fromData(image.bytes.data(), static_cast<int>(image.bytes.size()), "BMP");
            if (bitmap->image.isNull())
                throw TException("TBMP: picture cannot be decoded");
            decoded.push_back(std::move(bitmap));
        }
    }
    size_t next = 0;
    for (TFilm* film : { &character.idle, &character.talk })
        for (TBMP& image : film->images)
            image.decoded = std::move(decoded[next++]);
}

const QImage* decodedImage(const TBMP& image)
{
    return image.decoded ? &image.decoded->image : nullptr;
}
