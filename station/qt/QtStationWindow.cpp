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
QFont tahoma(double points, bool bold)
{
    QFont font(tahomaFamily());
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(static_cast<int>(points * 4.0 / 3.0 + 0.5));
    font.setBold(bold);
    return font;
}

void setColours(QWidget* widget, QPalette::ColorRole backgroundRole, const QColor& background,
                QPalette::ColorRole textRole, const QColor& text)
{
    QPalette palette = widget->palette();
    palette.setColor(backgroundRole, background);
    palette.setColor(textRole, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* plainLabel(QWidget* parent, const char* text)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

QRect twipsToPixels(int left, int top, int width, int height)
{
    constexpr int t = QtStationWindow::twipsPerPixel;
    return {left / t, top / t, width / t, height / t};
}

QtStationWindow::QtStationWindow()
    : Picture1(new QLabel(this)),
      Label3(plainLabel(this, "Com. Port :")),
      Label4(plainLabel(this, "")),
      Command1(new QPushButton(QStringLiteral("EXIT"), this)),
      Frame1(new QFrame(this)),
      txtReceive(new QPlainTextEdit(this)),
      Label1(plainLabel(this, "Please Insert Main Board")),
      Label2(plainLabel(this, "")),
      Text2(new QLineEdit(this)),
      Time1(plainLabel(this, " "))
{
    registerPictures();
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("Program Update Firmware Rev.00"));
    setWindowIcon(QIcon(QStringLiteral(":/station/icon.png")));
    setFixedSize(9510 / twipsPerPixel, 4590 / twipsPerPixel);

    Picture1->setPixmap(QPixmap(QStringLiteral(":/station/board.jpg")));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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

    const char* names[] = {"Picture1", "Label3", "Label4", "Command1", "Frame1",
                           "txtReceive", "Label1", "Label2", "Text2", "Time1"};
    QWidget* controls[] = {Picture1, Label3, Label4, Command1, Frame1, txtReceive, Label1, Label2, Text2, Time1};
    for (size_t i = 0; i < sizeof controls / sizeof controls[0]; ++i)
        controls[i]->setObjectName(QString::fromLatin1(names[i]));

    placeControls();
    paintControls();
    setFonts();
    setFocusOrder();
}

void QtStationWindow::placeControls()
{
    Picture1->setGeometry(twipsToPixels(120, 0, 975, 855));
    Label3->setGeometry(twipsToPixels(5760, 240, 1335, 495));
    Label4->setGeometry(twipsToPixels(7080, 240, 735, 375));
    Command1->setGeometry(twipsToPixels(8040, 120, 1095, 615));
    Frame1->setGeometry(twipsToPixels(480, 960, 8655, 1935));
    txtReceive->setGeometry(twipsToPixels(720, 1200, 8175, 1485));
    Label1->setGeometry(twipsToPixels(480, 3240, 3525, 420));
    Label2->setGeometry(twipsToPixels(4320, 3120, 660, 705));
    Text2->setGeometry(twipsToPixels(5640, 3240, 3495, 525));
    Time1->setGeometry(twipsToPixels(7200, 4200, 2295, 375));
    // The text box is drawn above the frame that surrounds it.
    txtReceive->raise();
}

void QtStationWindow::paintControls()
{
    const QPalette system = QApplication::palette();
    const QColor buttonText = system.color(QPalette::ButtonText);
    setColours(this, QPalette::Window, formColour(), QPalette::WindowText, buttonText);
    setColours(Picture1, QPalette::Window, formColour(), QPalette::WindowText, buttonText);
    setColours(Label3, QPalette::Window, formColour(), QPalette::WindowText, buttonText);
    setColours(Label4, QPalette::Window, formColour(), QPalette::WindowText, QColor(0, 0, 0));
    setColours(Label1, QPalette::Window, formColour(), QPalette::WindowText, buttonText);
    setColours(Time1, QPalette::Window, formColour(), QPalette::WindowText, buttonText);
    setColours(Label2, QPalette::Window, system.color(QPalette::Base), QPalette::WindowText,
               system.color(QPalette::WindowText));
    setColours(txtReceive, QPalette::Base, inactiveTitleBarColour(), QPalette::Text,
               system.color(QPalette::WindowText));
    setColours(Text2, QPalette::Base, text2Background(), QPalette::Text, systemDesktopColour());
    // The frame and the button keep the toolkit's own colours; they are set
    // explicitly, or the children would take the form's yellow.
    setColours(Frame1, QPalette::Window, system.color(QPalette::Window), QPalette::WindowText,
               system.color(QPalette::WindowText));
    Command1->setPalette(system);
}

void QtStationWindow::setFonts()
{
    Label3->setFont(tahoma(9.75, true));
    Label4->setFont(tahoma(9.75, true));
    Command1->setFont(tahoma(14.25, false));
    txtReceive->setFont(tahoma(11.25, false));
    Label1->setFont(tahoma(14.25, false));
    Label2->setFont(tahoma(29.25, false));
    Text2->setFont(tahoma(14.25, true));
}

void QtStationWindow::setFocusOrder()
{
    txtReceive->setFocusPolicy(Qt::StrongFocus);
    Text2->setFocusPolicy(Qt::StrongFocus);
    Command1->setFocusPolicy(Qt::StrongFocus);
    Picture1->setFocusPolicy(Qt::StrongFocus);
    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2),
                       static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label4),
                       static_cast<QWidget*>(Time1), static_cast<QWidget*>(Frame1)})
        w->setFocusPolicy(Qt::NoFocus);
    setTabOrder(txtReceive, Text2);
    setTabOrder(Text2, Command1);
    setTabOrder(Command1, Picture1);
    txtReceive->setFocus();
}
