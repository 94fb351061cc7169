// One opened input PDF: its file, a stream over the whole file whose start is moved to the
// "%PDF-" header, and the cross-reference read through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pdf/RefHolder.h"
#include "platform/ByteBuffer.h"
#include "platform/File.h"
#include "streams/Stream.h"
#include "xref/XRef.h"

// A file size no look-up has given.
constexpr uint64_t kUnknownFileSize = UINT64_MAX;
// Inputs up to this size are read whole at once and held while they are open.
constexpr uint64_t kHeldFileSize = 4 * 1024 * 1024;

class CPdfDocument {
public:
    CPdfDocument() = default;
    virtual ~CPdfDocument() { close(); }
    CPdfDocument(const CPdfDocument&) = delete;
    CPdfDocument& operator=(const CPdfDocument&) = delete;

    // Opens and reads the file; throws CPdfException (and stays closed) on failure. A size the
    // caller has just looked up spares measuring the file again, when its read confirms it; the
    // whole file as the caller has just read it (expectedSize bytes) spares opening it at all.
    // What CPdfXRef::readAhead gave for those very bytes spares reading the table again.
    void open(const std::string& path, uint64_t expectedSize = kUnknownFileSize, CHeldBytes read = nullptr,
              std::shared_ptr<CPdfReadAhead> ahead = nullptr);
    // The same on a file already open for reading (of less than 2 GiB) and size bytes long;
    // the document owns it. held, when given, is the whole file, read already: file may then be
    // none; ahead, when given, is taken only when read from held itself.
    void openFile(CFileHandle file, uint64_t size, CHeldBytes held = nullptr,
                  std::shared_ptr<CPdfReadAhead> ahead = nullptr);
    void close();
    // Opens a file the run writes itself, with its table given (see CPdfXRef::adopt); its last
    // bytes are copied from recent, its writer, rather than read.
    void openWithTable(const std::string& path, std::vector<CPdfXRefEntry> entries, int32_t rootNumber,
                       int32_t infoNumber, const CRecentBytes* recent);

    bool isOpen() const { return m_isOpen; }
    // The cross-reference; valid while the document is open.
    CPdfXRef* xref() const { return m_xref.get(); }
    // File offset of the "%PDF-" header (0 when none was found).
    uint32_t headerOffset() const { return m_stream ? m_stream->getStart() : 0; }
    // The open file and, for a small one, all its bytes (else null): the engine reads its
    // objects through them rather than opening the file a second time.
    FILE* file() const { return m_file.get(); }
    const CHeldBytes& heldBytes() const { return m_held; }

    // The whole file when it is expected bytes long, else null (see Document.cpp).
    static CHeldBytes ReadExpected(FILE* file, uint64_t expected);
    // The table of bytes (a whole file) read as open would read it, with up to maxBytes of its
    // object streams decoded (see CPdfXRef::readAhead), for a later open of the same bytes. Null
    // when the file does not open as it stands; never throws.
    static std::shared_ptr<CPdfReadAhead> ReadAhead(const CHeldBytes& bytes, size_t maxBytes);

private:
    void findHeader();
    static void ReportRebuilt(const std::string& path);

    bool m_isOpen = false;
    CFileHandle m_file;
    CPdfRef<CPdfStream> m_stream;
    CHeldBytes m_held;
    std::unique_ptr<CPdfXRef> m_xref;
};
