// Block reads over one input file for the append engine. Object text is read through a window
// of the file, so copying an object costs a few memory copies and no call per byte; positions
// are absolute file positions, and headerOffset() is where "%PDF-" stands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteBuffer.h"
#include "platform/RecentBytes.h"

class CInputFile {
public:
    // The file is borrowed; it stays open while the engine reads it. Measures the file once.
    // When held carries the whole file, reads come from it and the window is the whole file.
    void Attach(FILE* file, uint32_t headerOffset, CHeldBytes held = nullptr);
    // The same for a file whose size the caller knows: one the run writes itself, whose last
    // bytes are copied from recent, when given, rather than read.
    void AttachSized(FILE* file, uint64_t size, const CRecentBytes* recent = nullptr);
    void Detach();

    uint64_t size() const { return m_size; }
    FILE* file() const { return m_file; }
    uint32_t headerOffset() const { return m_headerOffset; }

    // Appends the bytes from position up to length of them (fewer at the end of the file) to
    // out; returns how many were appended.
    size_t Read(uint64_t position, size_t length, std::string& out);
    // Copies up to length bytes from position into destination; returns how many were copied.
    size_t ReadInto(uint64_t position, size_t length, char* destination);
    // The bytes from position to the end of the window, reloading the window from position
    // unless it holds at least length of them (fewer only at the end of the file). Valid until
    // the next call on this file. length must not exceed kWindowSize.
    std::string_view View(uint64_t position, size_t length);
    // Position of the last byte of the first occurrence of pattern that ends at or after
    // start, searching to the end of the file; 0 when there is none. Requires start <= size().
    uint64_t Find(uint64_t start, std::string_view pattern);

    static constexpr size_t kWindowSize = 128 * 1024;
    // How much a window load reads beyond what is asked for: a whole window while the reader
    // mostly moves forward, less while it jumps from object to object.
    void SetReadAhead(size_t bytes) { m_readAhead = bytes; }
    // Copies of fewer bytes than a window load one too, rather than reading past it: for a
    // reader that copies many small pieces from nearby places, such as a whole file's objects.
    void SetCopiesThroughWindow(bool isThrough) { m_copiesThroughWindow = isThrough; }

private:
    // Loads the window so that it begins at position, with at least minimum bytes unless the
    // file ends first; false at or beyond the end.
    bool Fill(uint64_t position, size_t minimum = 0);
    size_t ReadDirect(uint64_t position, size_t length, char* destination);

    FILE* m_file = nullptr;
    uint64_t m_size = 0;
    uint32_t m_headerOffset = 0;
    CByteBuffer m_window;
    CHeldBytes m_held;
    const CRecentBytes* m_recent = nullptr;
    const char* m_windowData = nullptr; // the window's bytes: m_window's, or the held file's
    uint64_t m_windowPosition = 0;
    size_t m_windowLength = 0;
    size_t m_readAhead = kWindowSize;
    bool m_copiesThroughWindow = false;
};

// Walks that read scattered objects load small windows while this lives, so they do not read
// a whole window around every object they visit.
class CJumpingReads {
public:
    explicit CJumpingReads(CInputFile& file) : m_file(file) { m_file.SetReadAhead(kReadAhead); }
    ~CJumpingReads() { m_file.SetReadAhead(CInputFile::kWindowSize); }
    CJumpingReads(const CJumpingReads&) = delete;
    CJumpingReads& operator=(const CJumpingReads&) = delete;

private:
    static constexpr size_t kReadAhead = 4096;
    CInputFile& m_file;
};
