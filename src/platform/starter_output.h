#pragma once

#include <string>

// Answers whoever started the program: the output it was handed (a pipe or a file) gets the text
// as UTF-8, a console (handed, or else the starting program's, attached to) gets it as UTF-16.
// A program started from Explorer has neither, and nothing is written. Failures are not
// reported: the text is also in the log.
void WriteToStarter(const std::u16string& text);
