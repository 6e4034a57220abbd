// Text for a Win32 multi-line edit control, which breaks lines only at
// CR LF: a lone CR or a lone LF becomes CR LF too, so the board's output
// shows line by line whatever line ends it uses.
#pragma once
#include <string>

std::string withCrLfLineEnds(const std::string& text);
