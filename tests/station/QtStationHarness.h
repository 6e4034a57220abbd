// Running the real station window in a test: a scratch working directory,
// a pty whose master plays the board's console, and a watcher that answers
// the station's modal boxes. The station runs on the test's own thread, so
// every wait here keeps Qt's event loop turning.
#pragma once
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

// Makes a fresh directory the working directory; restores the old one at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return dir; }
    void write(const std::string& name, const std::string& content) const;
    bool exists(const std::string& name) const;
    std::string read(const std::string& name) const;

private:
    std::string dir;
    std::string previous;
};

// The board's side of a pty; the station opens the slave as its port.
class PtyBoard {
public:
    PtyBoard();
    ~PtyBoard();
    const std::string& devicePath() const { return slavePath; }
    void print(const std::string& text) const;
    // Everything the station has written since the last call.
    std::string takeReceived();
    // Whether some program has the port (the slave) open.
    bool portIsOpenAtStation() const;

private:
    int master = -1;
    std::string slavePath;
    std::string received;
};

// Runs the event loop until `condition` holds or `timeoutMs` has passed.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

// Looks for the station's modal box every few milliseconds; hands each one
// to `inspect` (while it is open) and then presses its OK button.
class BoxWatcher {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };
    explicit BoxWatcher(std::function<void(QMessageBox&)> inspect = nullptr);
    const std::vector<Seen>& seen() const { return boxes; }

private:
    std::function<void(QMessageBox&)> inspect;
    std::vector<Seen> boxes;
    QTimer poll;
};

// A run.bat whose job is a shell function standing in for blockxfer: it
// notes that it ran, then runs `jobBody`. Its last line starts
// "blockxfer -p<digit>", as the station requires.
std::string fakeJobScript(const std::string& jobBody, char portDigit = '3');
