// The banner and the usage text, printed to standard output.
#pragma once

// An empty line, the program's name and version, an empty line (CR LF line ends).
void PrintBanner();
// The banner followed by the examples and the option list.
void PrintUsage();
