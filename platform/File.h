// FILE* holders. A reader closes silently; a writer's Close() reports whether every byte
// reached the file, and every write through it is checked.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

class CFileHandle {
public:
    CFileHandle() = default;
    explicit CFileHandle(FILE* file) : m_file(file) {}
    ~CFileHandle()
    {
        if (m_file)
            std::fclose(m_file);
    }
    CFileHandle(CFileHandle&& other) noexcept : m_file(std::exchange(other.m_file, nullptr)) {}
    CFileHandle& operator=(CFileHandle&& other) noexcept
    {
        CFileHandle taken(std::move(other));
        std::swap(m_file, taken.m_file);
        return *this;
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    // Opens path in mode; false (with errno set by the C library) when it cannot.
    bool Open(const std::string& path, const char* mode)
    {
        Close();
        m_file = std::fopen(path.c_str(), mode);
        return m_file != nullptr;
    }
    // Opens path for writing from its start, empty, as mode "wb" does; a file that is empty
    // already (a temporary just created) is opened as it stands, since truncating it would make
    // some file systems (ext4) write it out as soon as it is closed.
    bool OpenEmptied(const std::string& path)
    {
        if (Open(path, "r+b")) {
            if (std::fseek(m_file, 0, SEEK_END) == 0 && std::ftell(m_file) == 0)
                return true;
            Close();
        }
        return Open(path, "wb");
    }
    // Flushes and closes; false when any buffered byte could not be written.
    bool Close()
    {
        if (!m_file)
            return true;
        return std::fclose(std::exchange(m_file, nullptr)) == 0;
    }
    FILE* get() const { return m_file; }
    explicit operator bool() const { return m_file != nullptr; }

private:
    FILE* m_file = nullptr;
};
