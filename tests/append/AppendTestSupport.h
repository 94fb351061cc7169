// Helpers for the append engine's tests: run the engine in this process on two PDF files made
// in memory, read an object back out of an output through its cross-reference table, and run
// the PDF tools used as oracles when they are installed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

// The output of appending pdf2 onto pdf1 with the given job options ("-quiet" is added).
// The three shared files are closed again when the run throws.
std::string AppendBytes(const std::string& pdf1, const std::string& pdf2,
                        const std::vector<std::string>& options = {});

// The same for files on disk, into outputPath; stdoutText receives what the run printed.
void AppendPaths(const std::string& path1, const std::string& path2, const std::string& outputPath,
                 const std::vector<std::string>& options, std::string* stdoutText = nullptr);
// Closes the three shared files, as the command line does after a failed run.
void CloseSharedFiles();

// The text of object number of an output written by the engine, from its table entry up to
// and including the byte after "endobj"; "" when the entry is free or out of range.
std::string OutputObject(const std::string& pdf, uint32_t number);
// The output's cross-reference section: from "xref" up to "trailer".
std::string OutputXref(const std::string& pdf);
// Number of occurrences of pattern in text.
size_t CountOf(const std::string& text, const std::string& pattern);

// Full path of an installed program, or "" when it is not installed.
std::string FindTool(const std::string& name);
// Runs an installed tool with arguments in the temporary folder.
ProgramResult RunTool(const std::string& name, const std::vector<std::string>& args);
