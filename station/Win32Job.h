// Starting the programming job on Windows: "run.bat" by name, through the
// command interpreter, in a console window of its own that gets the focus,
// without waiting for it. The job finds blockxfer.exe by the name
// "blockxfer" in the working folder or on the PATH, as any batch file does.
#pragma once
#include <string>

// The command line: "cmd.exe /c <name>". The name is quoted when it holds
// a blank, so that cmd.exe takes it whole.
std::string jobCommandLine(const std::string& name);

// The command interpreter to run: %ComSpec% when it is set, else cmd.exe
// in the system folder; never a search of the working folder, where any
// cmd.exe could lie.
std::string commandInterpreterPath();

// Starts the job; false when `name` is no file of the working folder or
// the process cannot be created.
bool startJob(const std::string& name);
