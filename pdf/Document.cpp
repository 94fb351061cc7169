#include "pdf/Document.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <set>

#include "pdf/Exception.h"
#include "platform/Platform.h"

namespace {

// Offsets are 32-bit and positions are handed to seek as signed values: larger files would
// be misread, so they are refused.
constexpr uint64_t kMaxInputSize = uint64_t(1) << 31;
constexpr int kHeaderWindow = 1023;

} // namespace

void CPdfDocument::open(const std::string& path, uint64_t expectedSize, CHeldBytes read,
                        std::shared_ptr<CPdfReadAhead> ahead)
{
    close();
    CFileHandle file;
    CHeldBytes held;
    if (read && read->size() == expectedSize && expectedSize <= kHeldFileSize) {
        held = std::move(read);
    } else {
        ahead = nullptr; // read from other bytes
        if (!file.Open(path, "rb"))
            throw CPdfException(FormatText("Can't open file: '%s', err no: %d", path.c_str(), errno));
        if (expectedSize <= kHeldFileSize)
            held = ReadExpected(file.get(), expectedSize);
    }
    const uint64_t size = held ? held->size() : PlatformFileSize(file.get());
    if (size >= kMaxInputSize)
        throw CPdfException(FormatText("File too large (2 GiB or more): '%s'", path.c_str()));
    openFile(std::move(file), size, std::move(held), std::move(ahead));
    if (m_xref->isRebuilt())
        ReportRebuilt(path);
}

// One line on standard error for each input whose cross-reference had to be rebuilt, the first
// time it is opened in a run (page filters open an input before the append does).
void CPdfDocument::ReportRebuilt(const std::string& path)
{
    static std::set<std::string> reported;
    if (!reported.insert(path).second)
        return;
    std::fflush(stdout); // in a log of both streams, the line follows what was printed before it
    std::fprintf(stderr, "foliobind: '%s': cross-reference rebuilt\n", path.c_str());
}

// The whole file when it is expected bytes long: one byte asked for beyond them, and not
// there, shows where the file ends without measuring it. Null when the file is longer or shorter.
CHeldBytes CPdfDocument::ReadExpected(FILE* file, uint64_t expected)
{
    auto whole = std::make_shared<CByteBuffer>(static_cast<size_t>(expected) + 1); // read next
    if (PlatformReadAt(file, 0, whole->data(), whole->size()) != expected)
        return nullptr;
    whole->resize(static_cast<size_t>(expected));
    return whole;
}

std::shared_ptr<CPdfReadAhead> CPdfDocument::ReadAhead(const CHeldBytes& bytes, size_t maxBytes)
{
    try {
        CPdfDocument document;
        document.openFile(CFileHandle(), bytes->size(), bytes);
        return document.xref()->readAhead(bytes, maxBytes);
    } catch (const CPdfException&) {
    } catch (const std::exception&) {
    }
    return nullptr;
}

void CPdfDocument::openFile(CFileHandle file, uint64_t size, CHeldBytes held, std::shared_ptr<CPdfReadAhead> ahead)
{
    close();
    m_file = std::move(file);
    try {
        m_stream = CPdfRef<CPdfStream>::create<CPdfFileStream>(m_file.get(), 0, 0, CPdfElement());
        auto* whole = static_cast<CPdfFileStream*>(m_stream.get());
        if (held)
            whole->holdBytes(std::move(held));
        else
            whole->holdWholeFile(size, kHeldFileSize);
        m_held = whole->heldBytes();
        findHeader();
        m_xref = std::make_unique<CPdfXRef>();
        if (ahead && ahead->source == m_held)
            m_xref->offerReadAhead(std::move(ahead));
        m_xref->read(m_stream.get());
    } catch (...) {
        close();
        throw;
    }
    m_isOpen = true;
}

void CPdfDocument::openWithTable(const std::string& path, std::vector<CPdfXRefEntry> entries, int32_t rootNumber,
                                 int32_t infoNumber, const CRecentBytes* recent)
{
    close();
    if (!m_file.Open(path, "rb"))
        throw CPdfException(FormatText("Can't open file: '%s', err no: %d", path.c_str(), errno));
    auto stream = CPdfRef<CPdfFileStream>::create<CPdfFileStream>(m_file.get(), 0, 0, CPdfElement());
    stream->readRecent(recent);
    m_stream = std::move(stream);
    m_xref = std::make_unique<CPdfXRef>();
    m_xref->adopt(m_stream.get(), std::move(entries), rootNumber, infoNumber);
    m_isOpen = true;
}

void CPdfDocument::findHeader()
{
    // Bytes past the end read as 255, as a failed read stores the low byte of -1; a zero
    // byte in the window only fails the comparison it falls into.
    unsigned char window[kHeaderWindow + 1];
    const size_t got = m_stream->readBlock(reinterpret_cast<char*>(window), kHeaderWindow);
    std::memset(window + got, 0xFF, kHeaderWindow - got);
    window[kHeaderWindow] = 0;
    static const char kHeader[] = "%PDF-";
    for (int k = 0; k + 5 <= kHeaderWindow - 1; ++k) {
        if (std::memcmp(window + k, kHeader, 5) == 0) {
            m_stream->shiftStart(static_cast<uint32_t>(k));
            return;
        }
    }
}

void CPdfDocument::close()
{
    m_xref.reset();
    m_stream.reset();
    m_held.reset();
    m_file.Close();
    m_isOpen = false;
}
