// Renders the station's window in each phase of a cycle to PNG files, for
// the README and for review: waiting, board talking, programming, success
// and failure (the last two with the result box drawn over the window, as
// the operator sees it). A pty plays the board; run.bat's job is a shell
// function that leaves "Flash verified" in LOG the first time and nothing
// the second. Usage: station_screenshots OUTPUT-FOLDER
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <cstdio>
#include <cstdlib>

#include "QtStationHarness.h"
#include "QtStationProgram.h"

namespace {

bool save(const QImage& image, const QString& folder, const char* name)
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
        return false;
    }
    std::printf("%s\n", path.toLocal8Bit().constData());
    return true;
}

constexpr int captionHeight = 22;

// A widget's client area under a plain caption with its title, standing in
// for the window manager's title bar (there is none offscreen or in Xvfb).
QImage withCaption(QWidget& widget)
{
    const QImage client = widget.grab().toImage();
    QImage image(client.width() + 2, client.height() + captionHeight + 1, QImage::Format_RGB32);
    image.fill(QColor(60, 60, 60));
    QPainter painter(&image);
    painter.fillRect(QRect(1, 1, client.width(), captionHeight - 1), QColor(0, 84, 166));
    int textLeft = 6;
    if (!widget.windowIcon().isNull()) {
        painter.drawPixmap(4, 3, widget.windowIcon().pixmap(16, 16));
        textLeft = 24;
    }
    QFont font = QApplication::font();
    font.setPixelSize(12);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(textLeft, 1, client.width() - textLeft, captionHeight - 1), Qt::AlignVCenter,
                     widget.windowTitle());
    painter.drawImage(1, captionHeight, client);
    return image;
}

QImage windowImage(QtStationWindow& window) { return withCaption(window); }

// The window with the box in its middle, the way the box pops up over it.
QImage withBox(QtStationWindow& window, QWidget& box)
{
    QImage image = windowImage(window);
    const QImage boxImage = withCaption(box);
    QPainter painter(&image);
    const QPoint at((image.width() - boxImage.width()) / 2, (image.height() - boxImage.height()) / 2);
    painter.drawImage(at, boxImage);
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(folder);

    ScratchDir dir;
    PtyBoard board;
    setenv("COM3", board.devicePath().c_str(), 1);
    dir.write("run.bat", fakeJobScript("  if [ -e first-done ]; then : > LOG\n"
                                       "  else printf 'Sent OK\\r\\nFlash verified\\r\\n' > LOG; touch first-done; fi"));

    QtPlatformOptions options;
    options.timeDivisor = 20;
    options.endProgram = [](int status) { std::exit(status); };
    QtStationProgram program(options);
    if (!program.start())
        return 1;
    QtStationWindow& window = program.window;
    bool ok = true;

    waitUntil([] { return false; }, 200);
    ok = save(windowImage(window), folder, "1-waiting.png") && ok;

    board.print("\r\nU-Boot 2024.01 (Mar 04 2024 - 10:21:07 +0000)\r\n\r\nCPU:   ARM Cortex-A7\r\n"
                "DRAM:  256 MiB\r\nNAND:  512 MiB\r\n");
    waitUntil([&] { return window.txtReceive->toPlainText().contains(QLatin1String("NAND")); }, 5000);
    waitUntil([] { return false; }, 100);
    ok = save(windowImage(window), folder, "2-board-talking.png") && ok;

    const char* boxShots[] = {"4-success.png", "5-failure.png"};
    int boxesSeen = 0;
    BoxWatcher watcher([&](QMessageBox& box) {
        if (boxesSeen < 2)
            ok = save(withBox(window, box), folder, boxShots[boxesSeen]) && ok;
        ++boxesSeen;
    });

    board.print("Hit h... to stop autoboot:  3 \r\n");
    waitUntil([&] { return window.Label2->text() == QLatin1String("37"); }, 10000);
    ok = save(windowImage(window), folder, "3-programming.png") && ok;
    waitUntil([&] { return boxesSeen == 1 && program.platform.portIsOpen(); }, 10000);

    board.print("U-Boot 2024.01\r\nHit h... to stop autoboot\r\n");
    waitUntil([&] { return boxesSeen == 2 && program.platform.portIsOpen(); }, 15000);
    if (boxesSeen != 2) {
        std::fprintf(stderr, "the station showed %d result boxes, not 2\n", boxesSeen);
        return 1;
    }
    return ok ? 0 : 1;
}
