#pragma once

#include "character/character_data.h"

#include <QImage>

// The decoded picture that a TBMP carries for the drawing layer.
struct TDecodedBitmap
{
    QImage image;
};

// Decodes every picture of both films. A picture that cannot be decoded fails the load with
// TException("TBMP: picture cannot be decoded"); the character is then left as it was.
void decodeCharacterImages(TCharactorData& character);

// The decoded picture of `image`, or null before decoding.
const QImage* decodedImage(const TBMP& image);
