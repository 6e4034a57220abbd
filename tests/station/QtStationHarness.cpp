#include "QtStationHarness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "WholeFile.h"

ScratchDir::ScratchDir()
{
    char pattern[] = "/tmp/flashstation-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    dir = pattern;
    char cwd[PATH_MAX];
    previous = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    if (chdir(dir.c_str()) != 0)
        throw std::runtime_error("chdir failed");
}

ScratchDir::~ScratchDir()
{
    if (chdir(previous.c_str()) != 0)
        return;
    const std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0)
        return;
}

void ScratchDir::write(const std::string& name, const std::string& content) const
{
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out << content;
}

bool ScratchDir::exists(const std::string& name) const
{
    struct stat info {};
    return stat((dir + "/" + name).c_str(), &info) == 0;
}

std::string ScratchDir::read(const std::string& name) const { return readWholeFile(dir + "/" + name); }

PtyBoard::PtyBoard()
{
    int slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath = name;
    // Only the station may hold the slave, so that a hang-up shows its close.
    close(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
}

PtyBoard::~PtyBoard() { close(master); }

void PtyBoard::print(const std::string& text) const
{
    if (::write(master, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("write to the pty failed");
}

std::string PtyBoard::takeReceived()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        received.append(buffer, static_cast<size_t>(n));
    }
    std::string all;
    all.swap(received);
    return all;
}

bool PtyBoard::portIsOpenAtStation() const
{
    pollfd p{master, POLLIN, 0};
    return poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) == 0;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

BoxWatcher::BoxWatcher(std::function<void(QMessageBox&)> inspect_) : inspect(std::move(inspect_))
{
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        boxes.push_back({box->windowTitle(), box->text(), box->icon()});
        if (inspect)
            inspect(*box);
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
}

std::string fakeJobScript(const std::string& jobBody, char portDigit)
{
    return "blockxfer() {\n"
           "  echo \"$(pwd) $*\" > job-started\n" +
           jobBody +
           "\n}\n"
           "blockxfer -p" +
           std::string(1, portDigit) + " -sy fw.bin -lfLOG\n";
}
