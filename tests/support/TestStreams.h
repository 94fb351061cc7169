// Streams and files for tests: a temporary file that removes itself, a memory stream that
// counts its destruction, one that counts the calls made on it, and one that trickles.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/File.h"
#include "platform/Platform.h"
#include "streams/MemoryStream.h"

// A file under the system's temporary folder holding the given bytes; removed on destruction.
class CTempFile {
public:
    explicit CTempFile(const std::string& bytes)
        : m_path(std::filesystem::temp_directory_path() / ("foliobind_test_" + PlatformUniqueName() + ".tmp"))
    {
        std::ofstream out(m_path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~CTempFile()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    // Opens the file for reading; the handle closes it.
    CFileHandle openRead() const
    {
        CFileHandle file;
        file.Open(m_path.string(), "rb");
        return file;
    }

private:
    std::filesystem::path m_path;
};

// Adds one to a caller's counter when destroyed: shows when the last reference went.
class CSentinelStream : public CPdfMemoryStream {
public:
    explicit CSentinelStream(int& destroyed, std::string bytes = "") : CPdfMemoryStream(std::move(bytes)), m_destroyed(destroyed) {}
    ~CSentinelStream() override { ++m_destroyed; }

private:
    int& m_destroyed;
};

// Counts the byte reads that reach it.
class CSpyStream : public CPdfMemoryStream {
public:
    explicit CSpyStream(std::string bytes) : CPdfMemoryStream(std::move(bytes)) {}
    int getChar() override
    {
        ++m_reads;
        return CPdfMemoryStream::getChar();
    }
    int peekChar() override
    {
        ++m_reads;
        return CPdfMemoryStream::peekChar();
    }
    int reads() const { return m_reads; }

private:
    int m_reads = 0;
};

// Lends no bytes and hands out at most step bytes per block: a reader on top of it meets the end
// of its window at every step.
class CTrickleStream : public CPdfMemoryStream {
public:
    CTrickleStream(std::string bytes, size_t step) : CPdfMemoryStream(std::move(bytes)), m_step(step) {}
    bool lendBytes(const unsigned char*&, size_t&) override { return false; }
    size_t readBlock(char* buffer, size_t length) override
    {
        return CPdfStream::readBlock(buffer, length < m_step ? length : m_step);
    }

private:
    size_t m_step;
};

// Test data whose every byte tells its offset apart from its neighbours'.
inline std::string PatternBytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return bytes;
}
