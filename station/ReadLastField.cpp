#include "ReadLastField.h"

namespace {

bool isBlank(int c) { return c == ' ' || c == '\t'; }

// One character of look-ahead over a TextInput.
class FieldReader {
public:
    explicit FieldReader(TextInput& input_) : input(input_), current(input_.next()) {}

    bool atEnd() const { return current == TextInput::endOfFile; }

    // Reads one field and consumes its delimiter. Returns true when a comma
    // ended it, so another (possibly empty) field follows even at the end.
    bool readField(std::string& field)
    {
        field.clear();
        while (isBlank(current))
            advance();
        if (current == '"') {
            advance();
            while (!atEnd() && current != '"') {
                field.push_back(static_cast<char>(current));
                advance();
            }
            advance();
        } else {
            while (!atEnd() && !isDelimiter(current)) {
                field.push_back(static_cast<char>(current));
                advance();
            }
        }
        // Text after a closing quote, up to the delimiter, is not part of the field.
        while (!atEnd() && !isDelimiter(current))
            advance();
        return consumeDelimiter();
    }

private:
    static bool isDelimiter(int c) { return c == ',' || c == '\r' || c == '\n'; }

    void advance() { current = atEnd() ? current : input.next(); }

    bool consumeDelimiter()
    {
        if (current == ',') {
            advance();
            return true;
        }
        if (current == '\r') {
            advance();
            if (current == '\n')
                advance();
        } else if (current == '\n') {
            advance();
        }
        return false;
    }

    TextInput& input;
    int current;
};

}  // namespace

std::string readLastField(TextInput& input)
{
    FieldReader reader(input);
    std::string field;
    bool commaPending = false;
    while (!reader.atEnd() || commaPending)
        commaPending = reader.readField(field);
    return field;
}

bool readLastField(StationPlatform& platform, const std::string& fileName, std::string& field)
{
    std::unique_ptr<TextInput> input = platform.openTextFile(fileName);
    if (!input)
        return false;
    field = readLastField(*input);
    return !input->failed();
}
