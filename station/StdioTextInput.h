// A TextInput over a file opened with stdio; the file is closed with the object.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "StationPlatform.h"

class StdioTextInput : public TextInput {
public:
    // Null when the file cannot be opened for reading.
    static std::unique_ptr<TextInput> open(const std::string& path);
    ~StdioTextInput() override;
    int next() override;
    bool failed() const override;

private:
    explicit StdioTextInput(std::FILE* file_) : file(file_) {}
    std::FILE* file;
};
