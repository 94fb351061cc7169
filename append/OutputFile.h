// The output of an append run: a file of its own, written through one large buffer.
// Every write is checked; a failed write, flush or close raises the output error with the path
// and errno, so a run never ends with a short file it believes complete.
#pragma once

#include "platform/ByteBuffer.h"
#include "platform/File.h"
#include "platform/RecentBytes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CInputFile;

// The bytes in its buffer can be read back from it (see platform/RecentBytes.h).
class COutputFile final : public CRecentBytes {
public:
    // Creates (or truncates) path; raises the output error when it cannot. With syncOnClose,
    // Close puts the file on disk before it closes it (an output that will be renamed over an
    // input must be there before the input goes).
    void Open(const std::string& path, bool syncOnClose);
    // Hands every byte written so far to the file, so that a reader of it sees them. The buffer
    // keeps them, to be read back from it (see CopyRecent) until it fills; once it holds more
    // than a few lines need, only those from keepFrom on stay.
    void HandOver(uint64_t keepFrom);
    uint64_t RecentStart() const override { return m_bufferStart; }
    size_t CopyRecent(uint64_t position, char* destination, size_t length) const override;
    // Flushes and closes the file; raises the output error when a byte did not reach the file.
    void Close();
    // Closes the file of a run that failed, without a word: it is about to be removed.
    void Abandon();

    void Write(const char* data, size_t length);
    void Write(std::string_view text) { Write(text.data(), text.size()); }
    void WriteByte(char byte);
    // A signed decimal number, no padding.
    void WriteNumber(int64_t value);
    // Copies length bytes of input from position; an input that ends early is damaged.
    void CopyFrom(CInputFile& input, uint64_t position, uint64_t length);
    // The same, but a copy that continues the previous one in the same input joins it, and a
    // long run is copied file to file by the system where it can. The input must stay open
    // until the next write or Close.
    void CopyRun(CInputFile& input, uint64_t position, uint64_t length);

    // Bytes written so far: the output position of the next byte.
    uint64_t position() const { return m_position; }

private:
    static constexpr size_t kBufferSize = 1024 * 1024;
    // Runs at least this long go file to file; shorter ones through the buffer.
    static constexpr uint64_t kSystemCopyRun = 256 * 1024;
    // How much of the buffer HandOver lets be used before it moves the kept bytes to its start,
    // so that a list of small files touches only this much of it.
    static constexpr size_t kHandOverSpan = 64 * 1024;

    void Flush();
    // Writes the buffer's bytes that the file lacks; the buffer keeps them.
    void WriteOut();
    FILE* Handle() const { return m_file.get(); }
    void FlushRun();
    void CopyIntoBuffer(CInputFile& input, uint64_t position, uint64_t length);
    [[noreturn]] void Fail() const;

    std::string m_path;
    CFileHandle m_file;
    bool m_syncOnClose = false;
    CByteBuffer m_buffer;
    size_t m_used = 0;
    uint64_t m_position = 0;
    uint64_t m_bufferStart = 0; // the file position of the buffer's first byte
    size_t m_handed = 0;        // the buffer's bytes in the file already
    CInputFile* m_runInput = nullptr; // the pending run, counted in m_position already
    uint64_t m_runStart = 0;
    uint64_t m_runLength = 0;
};
