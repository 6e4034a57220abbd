// The .ico writer of the Windows build's picture converter: the file reads
// back, through Qt's own icon reader, as the images that went in.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include "IconFile.h"

namespace {

// An image of `side` pixels with 200 colours, none of them repeated in a row.
QImage pattern(int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int i = (x * 7 + y * 13) % 200;
            image.setPixel(x, y, qRgb(i, 255 - i, (i * 5) % 256));
        }
    return image;
}

quint16 le16(const QByteArray& bytes, int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); }
quint32 le32(const QByteArray& bytes, int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); }

TEST(IconFile, EntriesAre256ColourImagesThatReadBackUnchanged)
{
    const QList<QImage> images = {pattern(48), pattern(32), pattern(16)};
    QByteArray bytes = iconFile(images);
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_EQ(le16(bytes, 2), 1u) << "an icon";
    ASSERT_EQ(le16(bytes, 4), 3u);
    quint32 expectedOffset = 6 + 3 * 16;
    for (int i = 0; i < 3; ++i) {
        const int entry = 6 + 16 * i;
        EXPECT_EQ(static_cast<uchar>(bytes[entry]), images[i].width());
        EXPECT_EQ(le16(bytes, entry + 6), 8u) << "bits a pixel";
        EXPECT_EQ(le32(bytes, entry + 12), expectedOffset);
        const int side = images[i].width();
        const quint32 expectedSize = 40 + 1024 + static_cast<quint32>(side * side) +
                                     static_cast<quint32>(side * ((side + 31) / 32 * 4));
        EXPECT_EQ(le32(bytes, entry + 8), expectedSize) << "header, palette, pixels, mask";
        EXPECT_EQ(le32(bytes, static_cast<int>(expectedOffset) + 8), static_cast<quint32>(2 * side))
            << "the height counts the mask";
        expectedOffset += expectedSize;
    }
    EXPECT_EQ(static_cast<quint32>(bytes.size()), expectedOffset);

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    ASSERT_EQ(reader.imageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(back.size(), images[i].size()) << i;
        for (int y = 0; y < back.height(); ++y)
            for (int x = 0; x < back.width(); ++x)
                ASSERT_EQ(back.pixel(x, y), images[i].pixel(x, y)) << "image " << i << " at " << x << "," << y;
    }
}

TEST(IconFile, RefusesWhatNoIconHolds)
{
    EXPECT_TRUE(iconFile({}).isEmpty());
    EXPECT_TRUE(iconFile({pattern(16), pattern(257)}).isEmpty());
    EXPECT_TRUE(iconFile({QImage()}).isEmpty());
}

}  // namespace
