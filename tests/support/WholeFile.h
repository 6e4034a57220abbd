// Reading what a program under test wrote: the whole file, byte for byte;
// empty when it is missing or cannot be read.
#pragma once
#include <fstream>
#include <sstream>
#include <string>

inline std::string readWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}
