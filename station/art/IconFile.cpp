#include "IconFile.h"

#include <QtEndian>

namespace {

constexpr int directoryHeaderSize = 6;
constexpr int directoryEntrySize = 16;
constexpr int bitmapInfoHeaderSize = 40;
constexpr int paletteSize = 256 * 4;

void put16(QByteArray& out, int value)
{
    const quint16 le = qToLittleEndian(static_cast<quint16>(value));
    out.append(reinterpret_cast<const char*>(&le), 2);
}

void put32(QByteArray& out, qint64 value)
{
    const quint32 le = qToLittleEndian(static_cast<quint32>(value));
    out.append(reinterpret_cast<const char*>(&le), 4);
}

// Rows of a bitmap are padded to whole 32-bit words.
int rowBytes(int bitsPerRow) { return (bitsPerRow + 31) / 32 * 4; }

// One entry's image: the bitmap header (its height counts the colour rows
// and the transparency mask together), the palette, the colour rows and the
// mask rows, both from the bottom row up. The mask is all zeros: opaque.
QByteArray entryImage(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const int width = image.width();
    const int height = image.height();
    const int colourRow = rowBytes(width * 8);
    const int maskRow = rowBytes(width);
    QByteArray out;
    put32(out, bitmapInfoHeaderSize);
    put32(out, width);
    put32(out, 2 * height);
    put16(out, 1);  // planes
    put16(out, 8);  // bits a pixel
    put32(out, 0);  // no compression
    put32(out, static_cast<qint64>(colourRow + maskRow) * height);
    put32(out, 0);
    put32(out, 0);
    put32(out, 256);  // colours in the palette
    put32(out, 0);
    const QList<QRgb> colours = image.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < colours.size() ? colours[i] : qRgb(0, 0, 0);
        const char bgrx[4] = {static_cast<char>(qBlue(c)), static_cast<char>(qGreen(c)), static_cast<char>(qRed(c)), 0};
        out.append(bgrx, 4);
    }
    for (int y = height - 1; y >= 0; --y) {
        out.append(reinterpret_cast<const char*>(image.constScanLine(y)), width);
        out.append(colourRow - width, '\0');
    }
    out.append(maskRow * height, '\0');
    return out;
}

}  // namespace

QByteArray iconFile(const QList<QImage>& images)
{
    if (images.isEmpty())
        return {};
    QList<QByteArray> entries;
    for (const QImage& image : images) {
        if (image.isNull() || image.width() > 256 || image.height() > 256)
            return {};
        entries.append(entryImage(image));
    }
    QByteArray out;
    put16(out, 0);
    put16(out, 1);  // an icon, not a cursor
    put16(out, static_cast<int>(images.size()));
    qint64 offset = directoryHeaderSize + directoryEntrySize * images.size();
    for (int i = 0; i < images.size(); ++i) {
        // A side of 256 is written as 0; 0 colours means 256 and more.
        out.append(static_cast<char>(images[i].width() & 0xFF));
        out.append(static_cast<char>(images[i].height() & 0xFF));
        out.append('\0');
        out.append('\0');
        put16(out, 1);
        put16(out, 8);
        put32(out, entries[i].size());
        put32(out, offset);
        offset += entries[i].size();
    }
    for (const QByteArray& entry : entries)
        out.append(entry);
    return out;
}
