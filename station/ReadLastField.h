// Reading a text file field by field, as the station reads "run.bat" and
// "LOG": each field replaces the one before, and the last one counts.
//
// Field rules: blanks before a field are skipped; a field that begins with a
// double quote runs to the next double quote (the quotes are dropped, and
// anything after the closing quote up to the next comma or line end is
// ignored); any other field runs up to a comma, a line end (CR, CR LF or a
// lone LF) or the end of the file, and the comma or line end is consumed. A
// blank line is an empty field; a comma at the very end is followed by one.
#pragma once
#include <string>

#include "StationPlatform.h"

// The last field of the input; empty for an empty input.
std::string readLastField(TextInput& input);

// Opens `fileName` through the platform, reads its last field into `field`
// and closes it again at once, so the job can rewrite it; false when the file
// is missing or a read fails.
bool readLastField(StationPlatform& platform, const std::string& fileName, std::string& field);
