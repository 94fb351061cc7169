// Helpers for the append engine's tests: run the engine in this process on two PDF files made
// in memory, read an object back out of an output through its cross-reference table, check
// tables of appends by their outputs, and run the PDF tools used as oracles when installed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/RunProgram.h"

// The output of appending pdf2 onto pdf1 with the given job options ("-quiet" is added).
// The three shared files are closed again when the run throws.
std::string AppendBytes(const std::string& pdf1, const std::string& pdf2,
                        const std::vector<std::string>& options = {});

// The same for files on disk, into outputPath; stdoutText receives what the run printed.
void AppendPaths(const std::string& path1, const std::string& path2, const std::string& outputPath,
                 const std::vector<std::string>& options, std::string* stdoutText = nullptr);

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

// A file with a classic table holding the given objects (number, body) and the trailer extras.
std::string ClassicPdf(const std::vector<std::pair<uint32_t, std::string>>& objects,
                       const std::string& trailerExtras = "/Root 1 0 R", const std::string& version = "1.4");
// The body of an uncompressed stream object as CTestPdf::AddStream writes it.
std::string StreamBody(const std::string& dict, const std::string& data);

// One append judged by its output. Every row also checks the table's frame: "xref\n0 N\r",
// the free head entry and N entries of 20 bytes, /Size N in the trailer, "\n%%EOF" at the
// end, and each listed object's entry carries the generation its header names.
struct AppendRow {
    std::string name;
    std::string first;
    std::string second;
    std::vector<std::pair<uint32_t, std::string>> objects;    // exact texts, "" for a free entry
    std::vector<std::pair<std::string, size_t>> counts = {};  // how often each text occurs
    std::vector<std::string> order = {};                      // first occurrences in this order
    std::string start = {};                                   // what the output begins with
    std::vector<std::string> options = {};
};
void CheckAppendRows(const std::vector<AppendRow>& rows);

// Appends the two files and expects the damage refusal: "PDF file was damaged", exit code -4.
void ExpectDamaged(const std::string& pdf1, const std::string& pdf2);
