// A pty pair whose slave a port under test opens by path; the test plays
// the far end on the master, kept raw and non-blocking so that it sees the
// bytes as sent. Both descriptors are closed at the end.
#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

struct PtyPair : ::testing::Test {
    int master = -1;
    int slave = -1;
    std::string path;

    void SetUp() override
    {
        char name[128];
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
        fcntl(master, F_SETFL, O_NONBLOCK);
        termios t {};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    void TearDown() override
    {
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
    }
};
