#include "PtyEnd.h"

#include "PtyRate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
std::string failure(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool makeRaw(int fd)
{
    struct termios tio {};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}
}  // namespace

PtyEnd::~PtyEnd()
{
    unpublish();
    if (closeWatch >= 0)
        ::close(closeWatch);
    if (heldSlave >= 0)
        ::close(heldSlave);
    if (master >= 0)
        ::close(master);
}

bool PtyEnd::open(std::string& error)
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error = failure("cannot create a pty");
        return false;
    }
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        error = failure("ptsname");
        return false;
    }
    slaveName = name;
    heldSlave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (heldSlave < 0) {
        error = failure("cannot open the pty slave");
        return false;
    }
    // The master side is raw from birth; the slave starts as a terminal
    // (echo, line editing, XON/XOFF) and would mangle binary data.
    if (!makeRaw(heldSlave)) {
        error = failure("cannot make the pty raw");
        return false;
    }
    closeWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (closeWatch < 0 || inotify_add_watch(closeWatch, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        error = failure("cannot watch the pty slave");
        return false;
    }
    return true;
}

uint32_t PtyEnd::lineRate() const
{
    return ptyLineRate(heldSlave);
}

void PtyEnd::holdOutput(bool hold)
{
    // The same as a received XOFF, without making XON/XOFF bytes special.
    tcflow(heldSlave, hold ? TCOOFF : TCOON);
}

void PtyEnd::clientClosed()
{
    alignas(struct inotify_event) char events[4096];
    while (::read(closeWatch, events, sizeof events) > 0) {
    }
    ioctl(heldSlave, TIOCNXCL);
}

bool PtyEnd::publish(const std::string& linkPath, std::string& error)
{
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = linkPath + " exists and is not a symbolic link";
        return false;
    }
    // Link under a temporary name, then rename over the old link: a program
    // that opens the path meanwhile finds either the old or the new end.
    std::string temporary = linkPath + ".nullmodem-" + std::to_string(getpid());
    ::unlink(temporary.c_str());
    if (symlink(slaveName.c_str(), temporary.c_str()) != 0) {
        error = failure(("cannot create " + temporary).c_str());
        return false;
    }
    if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
        error = failure(("cannot create " + linkPath).c_str());
        ::unlink(temporary.c_str());
        return false;
    }
    published = linkPath;
    return true;
}

void PtyEnd::unpublish()
{
    if (published.empty())
        return;
    char target[256];
    ssize_t length = readlink(published.c_str(), target, sizeof target - 1);
    // A later nullmodem may have taken the path over; leave its link alone.
    if (length > 0 && slaveName.compare(0, std::string::npos, target, static_cast<size_t>(length)) == 0)
        ::unlink(published.c_str());
    published.clear();
}
