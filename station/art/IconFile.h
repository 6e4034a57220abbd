// Windows icon files (.ico) from images, for the station's resources: each
// image becomes one entry of 256 colours (8 bits a pixel with a palette),
// fully opaque: the window icon is a 256-colour picture.
#pragma once
#include <QByteArray>
#include <QImage>
#include <QList>

// The .ico file holding `images` in order; empty when an image is larger
// than 256 pixels a side or the list is empty.
QByteArray iconFile(const QList<QImage>& images);
