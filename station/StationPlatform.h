// What the bench program's logic needs of its surroundings.
//
// Principles of operation: the logic (Station) owns no window, port, timer
// or file of its own. It names the controls of the window, and everything it
// does to them, to the board's console port, the cycle's timer, the job, the
// clock and the two text files goes through this interface. The toolkit
// layer implements it over real widgets and a real port and calls the
// handlers of Station when its events arrive; the tests implement it over
// plain fields and a virtual clock. All calls run on the window's one thread.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

// The controls of the window that the logic reads or writes.
enum class Control {
    Label1,      // instruction to the operator
    Label2,      // tick count of the running cycle
    Label4,      // the port number in use
    Text2,       // programming status and result
    Time1,       // date and time of the last success
    txtReceive,  // everything the board sent in the current cycle
};

// A colour: a fixed (red, green, blue) or the desktop's colour of a system
// role, resolved by the toolkit layer.
struct Colour {
    enum class Kind : uint8_t {
        rgb,
        systemDesktop,
        systemButtonFace,
        systemButtonText,
        systemWindow,  // the background of text boxes
        systemWindowText,
        systemInactiveTitleBar,
    };
    Kind kind;
    uint8_t red;
    uint8_t green;
    uint8_t blue;

    static constexpr Colour rgb(uint8_t r, uint8_t g, uint8_t b) { return {Kind::rgb, r, g, b}; }
    static constexpr Colour system(Kind role) { return {role, 0, 0, 0}; }
    static constexpr Colour systemDesktop() { return system(Kind::systemDesktop); }
    bool operator==(const Colour& o) const
    {
        return kind == o.kind && (kind != Kind::rgb || (red == o.red && green == o.green && blue == o.blue));
    }
};

// Kinds of the serial control's communications event (only receive is acted on).
namespace commEvent {
constexpr int send = 1;
constexpr int receive = 2;
}  // namespace commEvent

// Why the port could not be opened.
enum class PortError {
    none,
    noDevice,  // the number names no serial device
    busy,      // held by another program, or access denied
    other,
};

// A text file opened for reading; closed when the object goes.
class TextInput {
public:
    static constexpr int endOfFile = -1;
    virtual ~TextInput() = default;
    // The next byte (0..255), or endOfFile at the end or on a read error.
    virtual int next() = 0;
    // True once a read has failed (as opposed to reaching the end).
    virtual bool failed() const = 0;
};

class StationPlatform {
public:
    virtual ~StationPlatform() = default;

    // Controls.
    virtual void setText(Control control, const std::string& text) = 0;
    virtual std::string text(Control control) const = 0;
    virtual void setTextColour(Control control, Colour colour) = 0;
    virtual void redraw(Control control) = 0;

    // Serial port (the board's console).
    // Settings are "baud,parity letter,data bits,stop bits", as "115200,N,8,1".
    virtual void setPortSettings(const std::string& settings) = 0;
    virtual void setPortNumber(int16_t portNumber) = 0;
    virtual PortError openPort() = 0;
    virtual void closePort() = 0;
    virtual void writePort(const std::string& text) = 0;
    // All input waiting now, as text; empty when there is none.
    virtual std::string readPort() = 0;
    // Kind of the communications event being delivered (commEvent::...).
    virtual int commEvent() const = 0;

    // Timer of the cycle; it ticks only while enabled with an interval above 0.
    virtual void enableTimer(bool enabled) = 0;
    virtual void setTimerInterval(uint32_t intervalMs) = 0;

    // Starts a command of the working directory by name, in a normal window
    // that gets the focus, without waiting for it; false when it cannot start.
    // The platform watches the job it started: once the command and every
    // process it started have ended, it calls the logic's Job_Ended handler
    // (on the window's thread) with the command's exit status.
    virtual bool startProcess(const std::string& name) = 0;
    // Ends the running job and everything it started, politely first and by
    // force soon after; its end is then reported like any other.
    virtual void endJob() = 0;

    // Blocks the window's thread; nothing is repainted meanwhile.
    virtual void sleep(uint32_t ms) = 0;

    // Modal box with one OK button; returns when the operator has closed it.
    virtual void messageBox(const std::string& prompt, const std::string& title, bool criticalIcon) = 0;

    // The current local date and time in the system's general format.
    virtual std::string nowText() const = 0;

    // The wall clock, on the scale file systems stamp files with:
    // milliseconds since 1970-01-01 00:00 UTC.
    virtual int64_t wallClockMs() const = 0;
    // When a file of the working directory was last written, on the scale of
    // wallClockMs(); false when that cannot be found out (no such file).
    virtual bool fileModifiedMs(const std::string& name, int64_t& modifiedMs) const = 0;

    // Opens a file of the working directory for reading; null when it is
    // missing or cannot be read.
    virtual std::unique_ptr<TextInput> openTextFile(const std::string& name) = 0;

    // Ends the process with this exit status, releasing the port and files.
    // A test platform may return; the logic then does nothing further.
    virtual void endProgram(int exitStatus) = 0;
};
