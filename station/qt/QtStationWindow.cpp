#include "QtStationWindow.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

// The pictures are compiled into the static library, whose resources are
// not registered unless someone asks for them by name.
static void registerPictures() { Q_INIT_RESOURCE(station); }

namespace {

// Tahoma is not part of a Linux desktop; Debian ships it with Wine's fonts,
// outside fontconfig's folders. Without it Qt substitutes a sans serif font.
QString tahomaFamily()
{
    static const QString family = [] {
        if (!QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
            for (const char* path : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
                if (QFile::exists(QString::fromLatin1(path)))
                    QFontDatabase::addApplicationFont(QString::fromLatin1(path));
        }
        return QStringLiteral("Tahoma");
    }();
    return family;
}

// Point sizes are those of a 96 dpi screen, where n points are n*4/3 pixels.
QFont tahoma(int hundredthsOfPoint, bool bold)
{
    QFont font(tahomaFamily());
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(static_cast<int>(hundredthsOfPoint / 100.0 * 4.0 / 3.0 + 0.5));
    font.setBold(bold);
    return font;
}

QRect twipsToPixels(const ControlLayout& l)
{
    constexpr int t = QtStationWindow::twipsPerPixel;
    return {l.left / t, l.top / t, l.width / t, l.height / t};
}

// Text boxes draw their text on the palette's base; the other controls on
// the window colour.
bool isTextBox(Slot slot) { return slot == Slot::txtReceive || slot == Slot::Text2; }

void setColours(QWidget* widget, QPalette::ColorRole backgroundRole, Colour background, QPalette::ColorRole textRole,
                Colour text)
{
    QPalette palette = widget->palette();
    palette.setColor(backgroundRole, QtStationWindow::colourOf(background));
    palette.setColor(textRole, QtStationWindow::colourOf(text));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QString textOf(Slot slot) { return QString::fromLatin1(layoutOf(slot).text); }

QLabel* plainLabel(QWidget* parent, Slot slot)
{
    auto* label = new QLabel(textOf(slot), parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

QColor QtStationWindow::colourOf(Colour colour)
{
    const QPalette system = QApplication::palette();
    switch (colour.kind) {
    case Colour::Kind::rgb:
        break;
    case Colour::Kind::systemDesktop:
        return {58, 110, 165};
    case Colour::Kind::systemInactiveTitleBar:
        return {191, 205, 219};
    case Colour::Kind::systemButtonFace:
        return system.color(QPalette::Window);
    case Colour::Kind::systemButtonText:
        return system.color(QPalette::ButtonText);
    case Colour::Kind::systemWindow:
        return system.color(QPalette::Base);
    case Colour::Kind::systemWindowText:
        return system.color(QPalette::WindowText);
    }
    return {colour.red, colour.green, colour.blue};
}

QtStationWindow::QtStationWindow()
    : Picture1(plainLabel(this, Slot::Picture1)),
      Label3(plainLabel(this, Slot::Label3)),
      Label4(plainLabel(this, Slot::Label4)),
      Command1(new QPushButton(textOf(Slot::Command1), this)),
      Frame1(new QFrame(this)),
      txtReceive(new QPlainTextEdit(textOf(Slot::txtReceive), this)),
      Label1(plainLabel(this, Slot::Label1)),
      Label2(plainLabel(this, Slot::Label2)),
      Text2(new QLineEdit(textOf(Slot::Text2), this)),
      Time1(plainLabel(this, Slot::Time1)),
      controls{Picture1, Label3, Label4, Command1, Frame1, txtReceive, Label1, Label2, Text2, Time1}
{
    registerPictures();
    setObjectName(QString::fromLatin1(frmmain.name));
    setWindowTitle(QString::fromLatin1(frmmain.title));
    setWindowIcon(QIcon(QStringLiteral(":/station/icon.png")));
    setFixedSize(frmmain.clientWidth / twipsPerPixel, frmmain.clientHeight / twipsPerPixel);

    Picture1->setPixmap(QPixmap(QStringLiteral(":/station/board.jpg")));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    txtReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtReceive->setReadOnly(true);
    txtReceive->setTabChangesFocus(true);
    Text2->setReadOnly(true);
    // Left-aligned like the other labels: from 100 on, the count is wider
    // than its box, and its leading digits are the ones to keep in view.
    // No border either: two digits of the large font just fill the width.
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label2->setMargin(0);
    Label2->setIndent(0);
    for (size_t i = 0; i < slotCount; ++i)
        controls[i]->setObjectName(QString::fromLatin1(frmmain.controls[i].name));

    placeControls();
    paintControls();
    setFonts();
    setFocusOrder();
}

void QtStationWindow::placeControls()
{
    for (size_t i = 0; i < slotCount; ++i)
        controls[i]->setGeometry(twipsToPixels(frmmain.controls[i]));
    // The text box is drawn above the frame that surrounds it.
    txtReceive->raise();
}

void QtStationWindow::paintControls()
{
    setColours(this, QPalette::Window, frmmain.background, QPalette::WindowText, frmmain.textColour);
    for (size_t i = 0; i < slotCount; ++i) {
        const Slot slot = static_cast<Slot>(i);
        const ControlLayout& l = frmmain.controls[i];
        // Set explicitly even where they are the toolkit's own, or the
        // children would take the form's yellow.
        if (slot == Slot::Command1)
            Command1->setPalette(QApplication::palette());
        else if (isTextBox(slot))
            setColours(controls[i], QPalette::Base, l.background, QPalette::Text, l.textColour);
        else
            setColours(controls[i], QPalette::Window, l.background, QPalette::WindowText, l.textColour);
    }
}

void QtStationWindow::setTextColour(Slot slot, Colour colour)
{
    QWidget* widget = control(slot);
    QPalette palette = widget->palette();
    palette.setColor(isTextBox(slot) ? QPalette::Text : QPalette::WindowText, colourOf(colour));
    widget->setPalette(palette);
}

void QtStationWindow::setFonts()
{
    for (size_t i = 0; i < slotCount; ++i)
        if (frmmain.controls[i].fontHundredthsOfPoint > 0)
            controls[i]->setFont(tahoma(frmmain.controls[i].fontHundredthsOfPoint, frmmain.controls[i].bold));
}

void QtStationWindow::setFocusOrder()
{
    for (size_t i = 0; i < slotCount; ++i)
        controls[i]->setFocusPolicy(takesFocus(static_cast<Slot>(i)) ? Qt::StrongFocus : Qt::NoFocus);
    QWidget* previous = nullptr;
    for (Slot slot : frmmain.focusOrder) {
        if (previous != nullptr)
            setTabOrder(previous, control(slot));
        previous = control(slot);
    }
    control(frmmain.focusOrder[0])->setFocus();
}
