// Converts the station's pictures for the Windows build's resources:
//   win32_art ICON.png PICTURE.jpg OUT.ico OUT.bmp
// The icon keeps its 48 x 48 pixels and gets 32 and 16 pixel renderings
// beside them for captions and task bars; the picture becomes a 24-bit
// bitmap. Built for the build machine and run during the Windows build.
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <cstdio>

#include "IconFile.h"

namespace {

bool fail(const char* what, const char* path)
{
    std::fprintf(stderr, "win32_art: %s %s\n", what, path);
    return false;
}

bool writeIcon(const char* from, const char* to)
{
    const QImage icon(QString::fromLocal8Bit(from));
    if (icon.isNull())
        return fail("cannot read", from);
    const QImage full = icon.convertToFormat(QImage::Format_RGB32);
    QList<QImage> sizes = {full};
    for (int side : {32, 16})
        sizes.append(full.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    const QByteArray bytes = iconFile(sizes);
    QFile out(QString::fromLocal8Bit(to));
    if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return fail("cannot write", to);
    return true;
}

bool writeBitmap(const char* from, const char* to)
{
    const QImage picture(QString::fromLocal8Bit(from));
    if (picture.isNull())
        return fail("cannot read", from);
    if (!picture.convertToFormat(QImage::Format_RGB888).save(QString::fromLocal8Bit(to), "BMP"))
        return fail("cannot write", to);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // For the image plugins (JPEG); no display is needed.
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s ICON.png PICTURE.jpg OUT.ico OUT.bmp\n", argv[0]);
        return 2;
    }
    return writeIcon(argv[1], argv[3]) && writeBitmap(argv[2], argv[4]) ? 0 : 1;
}
