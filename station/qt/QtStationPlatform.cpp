#include "QtStationPlatform.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

#include "PosixPortLock.h"
#include "PortName.h"
#include "QtStationWindow.h"
#include "StdioTextInput.h"

namespace {

QString fromText(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

std::string toText(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

// CR LF, a lone CR and a lone LF each start a new line on the screen.
QString forDisplay(const std::string& text)
{
    QString shown = fromText(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QSerialPort::Parity parityOf(char letter)
{
    switch (letter) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

}  // namespace

bool terminalAvailable()
{
    const QString platform = QGuiApplication::platformName();
    const bool onDisplay = platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
    return onDisplay && !QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator")).isEmpty();
}

QtStationPlatform::QtStationPlatform(QtStationWindow& window_, QtPlatformOptions options_)
    : window(window_),
      options(std::move(options_)),
      timer1([this](uint32_t periodMs) { runTimer(periodMs); }, options.timeDivisor)
{
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] {
        if (onTick)
            onTick();
    });
    QObject::connect(&port, &QSerialPort::readyRead, [this] { deliverReceiveEvent(); });
    jobWatch.setInterval(jobWatchIntervalMs);
    QObject::connect(&jobWatch, &QTimer::timeout, [this] { watchJob(); });
}

void QtStationPlatform::deliverReceiveEvent()
{
    currentEvent = commEvent::receive;
    if (onCommEvent)
        onCommEvent();
    currentEvent = 0;
}

QWidget* QtStationPlatform::widgetOf(Control control) const { return window.control(slotOf(control)); }

void QtStationPlatform::setText(Control control, const std::string& text)
{
    if (control == Control::txtReceive) {
        receivedText = text;
        window.txtReceive->setPlainText(forDisplay(text));
        QScrollBar* bar = window.txtReceive->verticalScrollBar();
        bar->setValue(bar->maximum());
    } else if (control == Control::Text2) {
        window.Text2->setText(fromText(text));
    } else {
        static_cast<QLabel*>(widgetOf(control))->setText(fromText(text));
    }
}

std::string QtStationPlatform::text(Control control) const
{
    if (control == Control::txtReceive)
        return receivedText;
    if (control == Control::Text2)
        return toText(window.Text2->text());
    return toText(static_cast<QLabel*>(widgetOf(control))->text());
}

void QtStationPlatform::setTextColour(Control control, Colour colour)
{
    window.setTextColour(slotOf(control), colour);
}

void QtStationPlatform::redraw(Control control) { widgetOf(control)->repaint(); }

void QtStationPlatform::setPortSettings(const std::string& text)
{
    if (!parseCommSettings(text, settings))
        std::fprintf(stderr, "flashstation: line settings \"%s\" not understood, kept %u,%c,%u,%u\n", text.c_str(),
                     settings.baudRate, settings.parity, settings.dataBits, settings.stopBits);
}

void QtStationPlatform::setPortNumber(int16_t number) { portNumber = number; }

PortError QtStationPlatform::openPort()
{
    char device[256];
    if (portNumber <= 0 || !posixDeviceForPort(static_cast<uint32_t>(portNumber), device, sizeof device))
        return PortError::noDevice;
    port.setPortName(QString::fromLocal8Bit(device));
    port.setBaudRate(static_cast<qint32>(settings.baudRate));
    port.setParity(parityOf(settings.parity));
    port.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits));
    port.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "flashstation: %s: %s\n", device, port.errorString().toLocal8Bit().constData());
        switch (port.error()) {
        case QSerialPort::DeviceNotFoundError:
            return PortError::noDevice;
        case QSerialPort::PermissionError:
            return PortError::busy;
        default:
            return PortError::other;
        }
    }
    if (!lockPortExclusively(static_cast<int>(port.handle()))) {
        std::fprintf(stderr, "flashstation: %s: locked by another program\n", device);
        port.close();
        return PortError::busy;
    }
    return PortError::none;
}

void QtStationPlatform::closePort() { port.close(); }

void QtStationPlatform::writePort(const std::string& text)
{
    port.write(text.data(), static_cast<qint64>(text.size()));
    // Out at once: the handler may block or close the port before the event loop runs again.
    port.flush();
}

std::string QtStationPlatform::readPort()
{
    const QByteArray waiting = port.readAll();
    return {waiting.constData(), static_cast<size_t>(waiting.size())};
}

void QtStationPlatform::enableTimer(bool enabled) { timer1.enable(enabled); }

void QtStationPlatform::setTimerInterval(uint32_t ms) { timer1.setInterval(ms); }

void QtStationPlatform::runTimer(uint32_t periodMs)
{
    if (periodMs > 0)
        timer.start(static_cast<int>(periodMs));
    else
        timer.stop();
}

bool QtStationPlatform::startProcess(const std::string& name)
{
    const QString script = fromText(name);
    if (!QFileInfo(script).isFile() || !QFileInfo(script).isReadable())
        return false;
    if (!jobOutputPath.empty())
        ::unlink(jobOutputPath.c_str());
    jobOutputPath.clear();
    if (terminalAvailable()) {
        char path[] = "/tmp/flashstation-job-XXXXXX";
        const int fd = ::mkstemp(path);
        if (fd >= 0) {
            ::close(fd);
            jobOutputPath = path;
        }
    }
    if (!job.start(name, jobOutputPath))
        return false;
    if (!jobOutputPath.empty())
        showJobInTerminal();
    jobWatch.start();
    return true;
}

// The terminal only shows the job's output: the job itself is the station's
// child, since a terminal may hand its command to a server and return at once.
void QtStationPlatform::showJobInTerminal()
{
    const std::string pidOption = "--pid=" + std::to_string(job.shellPid());
    const char* argv[] = {"x-terminal-emulator", "-e", "tail", "-n", "+1", "-f", pidOption.c_str(),
                          jobOutputPath.c_str(), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, &attributes, const_cast<char* const*>(argv), environ) == 0)
        terminalGroup = pid;
    posix_spawnattr_destroy(&attributes);
}

void QtStationPlatform::watchJob()
{
    reapProcessGroup(terminalGroup);
    int exitStatus = 0;
    if (!job.poll(exitStatus))
        return;
    jobWatch.stop();
    if (onJobEnded)
        onJobEnded(exitStatus);
}

void QtStationPlatform::endJob() { job.terminate(); }

void QtStationPlatform::sleep(uint32_t ms) { QThread::msleep(timer1.scaled(ms)); }

void QtStationPlatform::messageBox(const std::string& prompt, const std::string& title, bool criticalIcon)
{
    QMessageBox box(criticalIcon ? QMessageBox::Critical : QMessageBox::NoIcon, fromText(title), fromText(prompt),
                    QMessageBox::Ok, window.isVisible() ? &window : nullptr);
    box.exec();
}

std::string QtStationPlatform::nowText() const
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    // The locale's own date and time, as the operator's system shows them.
    const size_t n = std::strftime(text, sizeof text, "%x %X", &local);
    return {text, n};
}

int64_t QtStationPlatform::wallClockMs() const
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool QtStationPlatform::fileModifiedMs(const std::string& name, int64_t& modifiedMs) const
{
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0)
        return false;
    modifiedMs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    return true;
}

std::unique_ptr<TextInput> QtStationPlatform::openTextFile(const std::string& name)
{
    return StdioTextInput::open(name);
}

void QtStationPlatform::endProgram(int exitStatus)
{
    timer.stop();
    port.close();
    if (!jobOutputPath.empty())
        ::unlink(jobOutputPath.c_str());
    if (options.endProgram)
        options.endProgram(exitStatus);
}
