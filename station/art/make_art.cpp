// Draws the station's two pictures: the window icon (48 x 48, 256 colours,
// PNG) and the picture of Picture1 (57 x 57, JPEG), a circuit board with a
// chip on it. Run once and commit the output:
//   cmake --build <build> --target station_make_art
//   <build>/bin/station_make_art station/art
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

void drawBoard(QPainter& p, int size)
{
    const double s = size / 48.0;
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, size, size, QColor(255, 255, 192));
    // The board, with mounting holes and traces.
    p.setPen(QPen(QColor(20, 80, 30), 1.5 * s));
    p.setBrush(QColor(40, 140, 60));
    p.drawRoundedRect(QRectF(2 * s, 6 * s, 44 * s, 36 * s), 3 * s, 3 * s);
    p.setBrush(QColor(230, 200, 90));
    p.setPen(Qt::NoPen);
    for (QPointF hole : {QPointF(6, 10), QPointF(42, 10), QPointF(6, 38), QPointF(42, 38)})
        p.drawEllipse(QPointF(hole.x() * s, hole.y() * s), 2 * s, 2 * s);
    p.setPen(QPen(QColor(200, 170, 60), 1.2 * s));
    for (int y : {16, 24, 32}) {
        p.drawLine(QPointF(4 * s, y * s), QPointF(13 * s, y * s));
        p.drawLine(QPointF(35 * s, y * s), QPointF(44 * s, y * s));
    }
    // The chip with its pins.
    p.setPen(QPen(QColor(200, 200, 200), 1.4 * s));
    for (int i = 0; i < 5; ++i) {
        const double y = (15 + i * 4.5) * s;
        p.drawLine(QPointF(12 * s, y), QPointF(16 * s, y));
        p.drawLine(QPointF(32 * s, y), QPointF(36 * s, y));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 35));
    p.drawRect(QRectF(16 * s, 12 * s, 16 * s, 24 * s));
    p.setBrush(QColor(90, 90, 100));
    p.drawEllipse(QPointF(19 * s, 15 * s), 1.3 * s, 1.3 * s);
}

QImage render(int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    QPainter painter(&image);
    drawBoard(painter, size);
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 1;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QImage icon = render(48).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const bool ok = icon.save(folder + QStringLiteral("/icon.png"), "PNG") &&
                    render(57).save(folder + QStringLiteral("/board.jpg"), "JPEG", 90);
    return ok ? 0 : 1;
}
