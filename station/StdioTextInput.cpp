#include "StdioTextInput.h"

std::unique_ptr<TextInput> StdioTextInput::open(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return nullptr;
    return std::unique_ptr<TextInput>(new StdioTextInput(file));
}

StdioTextInput::~StdioTextInput() { std::fclose(file); }

int StdioTextInput::next()
{
    const int c = std::getc(file);
    return c == EOF ? TextInput::endOfFile : c;
}

bool StdioTextInput::failed() const { return std::ferror(file) != 0; }
