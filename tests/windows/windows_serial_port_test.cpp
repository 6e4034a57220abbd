// WindowsSerialPort against recording Win32 fakes: the device names, the
// exact calls and arguments of open and configure, the error mapping, and
// the polling loop's attempts and sleeps.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "FakeWin32.h"
#include "ResultCodes.h"
#include "WindowsSerialPort.h"

namespace {

using Calls = std::vector<std::string>;

class WindowsPortTest : public ::testing::Test {
protected:
    void SetUp() override { fake = FakeWin32(); }

    // An open port with the record of the open cleared.
    std::unique_ptr<WindowsSerialPort> openPort()
    {
        auto port = std::make_unique<WindowsSerialPort>();
        EXPECT_EQ(port->open(3), rc::Ok);
        fake.calls.clear();
        return port;
    }
};

// --- device names ---

struct NameCase {
    uint32_t port;
    const char* name;
};

class DeviceNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceNameTest, DigitsFollowTheTemplatePrefixWithoutTail)
{
    char name[kWindowsDeviceNameSize];
    std::memset(name, 'x', sizeof name);
    ASSERT_TRUE(windowsDeviceName(GetParam().port, name));
    EXPECT_STREQ(name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Ports, DeviceNameTest,
                         ::testing::Values(NameCase {0, "\\\\.\\com0"}, NameCase {1, "\\\\.\\com1"},
                                           NameCase {7, "\\\\.\\com7"}, NameCase {10, "\\\\.\\com10"},
                                           NameCase {105, "\\\\.\\com105"},
                                           NameCase {200, "\\\\.\\com200"},
                                           NameCase {999, "\\\\.\\com999"}));

TEST(DeviceName, RefusesFourDigits)
{
    char name[kWindowsDeviceNameSize] = "untouched";
    EXPECT_FALSE(windowsDeviceName(1000, name));
    EXPECT_FALSE(windowsDeviceName(0xFFFFFFFFu, name));
    EXPECT_STREQ(name, "untouched");
}

// --- error mapping ---

TEST(ErrorMapping, OpenFailures)
{
    EXPECT_EQ(openErrorCode(ERROR_FILE_NOT_FOUND), rc::PortNoDevice);
    EXPECT_EQ(openErrorCode(ERROR_ACCESS_DENIED), rc::PortDenied);
    EXPECT_EQ(openErrorCode(ERROR_PATH_NOT_FOUND), rc::PortOther);
    EXPECT_EQ(openErrorCode(ERROR_INVALID_PARAMETER), rc::PortOther);
    EXPECT_EQ(openErrorCode(0), rc::PortOther);
}

TEST(ErrorMapping, SettingsFailures)
{
    EXPECT_EQ(settingsErrorCode(ERROR_INVALID_PARAMETER), rc::PortSettings);
    EXPECT_EQ(settingsErrorCode(ERROR_FILE_NOT_FOUND), rc::PortOther);
    EXPECT_EQ(settingsErrorCode(ERROR_ACCESS_DENIED), rc::PortOther);
}

// --- open and close ---

TEST_F(WindowsPortTest, OpenIsExclusiveSynchronousOpenExisting)
{
    WindowsSerialPort port;
    ASSERT_EQ(port.open(105), rc::Ok);
    EXPECT_EQ(fake.createName, "\\\\.\\com105");
    EXPECT_EQ(fake.createAccess, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(fake.createShare, 0u);
    EXPECT_TRUE(fake.createSecurityNull);
    EXPECT_EQ(fake.createDisposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(fake.createAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(fake.createTemplateNull);
}

TEST_F(WindowsPortTest, PortOf1000IsRefusedWithoutSystemCall)
{
    WindowsSerialPort port;
    EXPECT_EQ(port.open(1000), rc::PortNoDevice);
    EXPECT_EQ(fake.calls, Calls {});
}

TEST_F(WindowsPortTest, DevicePathReplacesTheNumberedName)
{
    WindowsSerialPort port("\\\\.\\COM12");
    ASSERT_EQ(port.open(4000), rc::Ok);
    EXPECT_EQ(fake.createName, "\\\\.\\COM12");
}

TEST_F(WindowsPortTest, FailedOpenMapsTheErrorAndHoldsNoHandle)
{
    const DWORD errors[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_PATH_NOT_FOUND};
    const int32_t codes[] = {rc::PortNoDevice, rc::PortDenied, rc::PortOther};
    for (size_t i = 0; i < 3; ++i) {
        fake = FakeWin32();
        fake.failCall = "CreateFileA";
        fake.failError = errors[i];
        {
            WindowsSerialPort port;
            EXPECT_EQ(port.open(5), codes[i]);
            port.close();
        }
        EXPECT_TRUE(fake.closed.empty()) << "error " << errors[i];
    }
}

TEST_F(WindowsPortTest, AFailedReopenKeepsThePortInUse)
{
    WindowsSerialPort port;
    ASSERT_EQ(port.open(5), rc::Ok);
    fake.failCall = "CreateFileA";
    fake.failOccurrence = 2;
    fake.failError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(port.open(6), rc::PortDenied);
    EXPECT_TRUE(fake.closed.empty());
    port.close();
    ASSERT_EQ(fake.closed.size(), 1u);
    EXPECT_EQ(fake.closed[0], fake.deviceHandle);

    // A reopen that succeeds closes the old handle only then.
    fake = FakeWin32();
    WindowsSerialPort again;
    ASSERT_EQ(again.open(5), rc::Ok);
    fake.deviceHandle = reinterpret_cast<HANDLE>(0x5678);
    ASSERT_EQ(again.open(6), rc::Ok);
    EXPECT_EQ(fake.calls, (Calls{"CreateFileA", "CreateFileA", "CloseHandle"}));
    EXPECT_EQ(fake.closed, std::vector<HANDLE>{reinterpret_cast<HANDLE>(0x1234)});
}

TEST_F(WindowsPortTest, CloseTwiceAndDestroyCloseTheHandleOnce)
{
    {
        auto port = openPort();
        port->close();
        port->close();
    }
    ASSERT_EQ(fake.closed.size(), 1u);
    EXPECT_EQ(fake.closed[0], fake.deviceHandle);
}

TEST_F(WindowsPortTest, DestructorClosesAnOpenPort)
{
    openPort();  // the temporary is destroyed here
    EXPECT_EQ(fake.closed.size(), 1u);
}

// --- configure ---

DCB driverReportedDcb()
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = 2;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.fRtsControl = 3;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 7;
    dcb.Parity = 2;
    dcb.StopBits = 2;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '\n';
    return dcb;
}

TEST_F(WindowsPortTest, ConfigureMakesTheCallsInOrder)
{
    auto port = openPort();
    EXPECT_EQ(port->configure(115200), rc::Ok);
    EXPECT_EQ(fake.calls, (Calls {"FlushFileBuffers", "PurgeComm", "GetCommState", "SetCommState",
                                  "SetCommTimeouts", "PurgeComm"}));
    EXPECT_EQ(fake.purgeFlags, (std::vector<DWORD> {0x0F, 0x0F}));
}

TEST_F(WindowsPortTest, ConfigureChangesExactlyRateAndFrameFormat)
{
    fake.driverDcb = driverReportedDcb();
    auto port = openPort();
    ASSERT_EQ(port->configure(123457), rc::Ok);

    EXPECT_EQ(fake.dcbGiven, std::vector<uint8_t>(sizeof(DCB), 0)) << "DCB not zero-filled";
    DCB expected = driverReportedDcb();
    expected.BaudRate = 123457;  // passed on unchecked
    expected.ByteSize = 8;
    expected.Parity = NOPARITY;
    expected.StopBits = ONESTOPBIT;
    EXPECT_EQ(std::memcmp(&fake.dcbSet, &expected, sizeof expected), 0);
    EXPECT_EQ(fake.dcbSet.fOutX, 1u);
    EXPECT_EQ(fake.dcbSet.fRtsControl, 3u);
    EXPECT_EQ(fake.dcbSet.BaudRate, 123457u);
}

TEST_F(WindowsPortTest, ConfigureMakesReadsReturnAtOnceAndWritesUnlimited)
{
    auto port = openPort();
    ASSERT_EQ(port->configure(115200), rc::Ok);
    EXPECT_EQ(fake.timeoutsSet.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(fake.timeoutsSet.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(fake.timeoutsSet.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(fake.timeoutsSet.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(fake.timeoutsSet.WriteTotalTimeoutConstant, 0u);
}

struct StepFailure {
    const char* call;
    size_t occurrence;
    DWORD error;
    int32_t code;
    size_t callsMade;  // the sequence stops at the failing call
};

class ConfigureFailureTest : public WindowsPortTest,
                             public ::testing::WithParamInterface<StepFailure> {};

TEST_P(ConfigureFailureTest, StopsWithTheCodeAndLeavesThePortOpen)
{
    auto port = openPort();
    fake.failCall = GetParam().call;
    fake.failOccurrence = GetParam().occurrence;
    fake.failError = GetParam().error;
    EXPECT_EQ(port->configure(115200), GetParam().code);
    EXPECT_EQ(fake.calls.size(), GetParam().callsMade);
    EXPECT_TRUE(fake.closed.empty());
    port->close();
    EXPECT_EQ(fake.closed.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ConfigureFailureTest,
    ::testing::Values(
        StepFailure {"FlushFileBuffers", 1, ERROR_INVALID_PARAMETER, rc::PortOther, 1},
        StepFailure {"PurgeComm", 1, ERROR_INVALID_PARAMETER, rc::PortOther, 2},
        StepFailure {"GetCommState", 1, ERROR_INVALID_PARAMETER, rc::PortOther, 3},
        StepFailure {"SetCommState", 1, ERROR_INVALID_PARAMETER, rc::PortSettings, 4},
        StepFailure {"SetCommState", 1, ERROR_ACCESS_DENIED, rc::PortOther, 4},
        StepFailure {"SetCommTimeouts", 1, ERROR_INVALID_PARAMETER, rc::PortOther, 5},
        StepFailure {"PurgeComm", 2, ERROR_INVALID_PARAMETER, rc::PortOther, 6}));

// --- reads and writes ---

TEST_F(WindowsPortTest, ReadWithTimeoutZeroIsOneAttemptWithoutSleep)
{
    auto port = openPort();
    uint8_t buffer[16];
    EXPECT_EQ(port->read(buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(fake.calls, Calls {"ReadFile"});
}

TEST_F(WindowsPortTest, ReadTimeout25SleepsTenTenFive)
{
    auto port = openPort();
    uint8_t buffer[16];
    EXPECT_EQ(port->read(buffer, sizeof buffer, 25), 0);
    EXPECT_EQ(fake.calls, (Calls {"ReadFile", "Sleep", "ReadFile", "Sleep", "ReadFile", "Sleep",
                                  "ReadFile"}));
    EXPECT_EQ(fake.sleeps, (std::vector<DWORD> {10, 10, 5}));
}

TEST_F(WindowsPortTest, ReadReturnsWhatHasArrivedAtOnce)
{
    auto port = openPort();
    fake.script.push_back({true, {1, 2, 3}});
    uint8_t buffer[128] = {};
    EXPECT_EQ(port->read(buffer, sizeof buffer, 1000), 3);
    EXPECT_EQ(fake.transferCounts, std::vector<DWORD> {128});
    EXPECT_EQ(fake.transferBuffers[0], buffer);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_TRUE(fake.sleeps.empty());
}

TEST_F(WindowsPortTest, ReadRetriesWithTheSameBufferAndCount)
{
    auto port = openPort();
    fake.script = {{true, {}}, {true, {}}, {true, {9}}};
    uint8_t buffer[64];
    EXPECT_EQ(port->read(buffer, 64, 1000), 1);
    EXPECT_EQ(fake.transferCounts, (std::vector<DWORD> {64, 64, 64}));
    EXPECT_EQ(fake.transferBuffers, (std::vector<const void*> {buffer, buffer, buffer}));
    EXPECT_EQ(fake.sleeps, (std::vector<DWORD> {10, 10}));
}

TEST_F(WindowsPortTest, ReadFailureAfterEmptyAttemptsEndsTheLoop)
{
    auto port = openPort();
    fake.script = {{true, {}}, {true, {}}, {false, {}}, {true, {7}}};
    uint8_t buffer[8];
    EXPECT_EQ(port->read(buffer, sizeof buffer, 1000), rc::PortRead);
    EXPECT_EQ(fake.transferCounts.size(), 3u);
}

TEST_F(WindowsPortTest, CountZeroPollsUntilTheTimeout)
{
    auto port = openPort();
    uint8_t buffer[1];
    EXPECT_EQ(port->read(buffer, 0, 30), 0);
    EXPECT_EQ(fake.transferCounts, (std::vector<DWORD> {0, 0, 0, 0}));
    EXPECT_EQ(port->write(buffer, 0, 15), 0);
    EXPECT_EQ(fake.sleeps, (std::vector<DWORD> {10, 10, 10, 10, 5}));
}

TEST_F(WindowsPortTest, WriteReturnsWhatTheDriverTook)
{
    auto port = openPort();
    const uint8_t data[10] = {};
    fake.script = {{true, {}}, {true, std::vector<uint8_t>(4)}};
    EXPECT_EQ(port->write(data, sizeof data, 100), 4);
    EXPECT_EQ(fake.calls, (Calls {"WriteFile", "Sleep", "WriteFile"}));
    EXPECT_EQ(fake.transferBuffers[1], data);
}

TEST_F(WindowsPortTest, WriteFailureIsItsOwnCode)
{
    auto port = openPort();
    const uint8_t data[4] = {};
    fake.script = {{true, {}}, {false, {}}};
    EXPECT_EQ(port->write(data, sizeof data, 1000), rc::PortWrite);
    EXPECT_EQ(fake.sleeps, std::vector<DWORD> {10});
}

}  // namespace
