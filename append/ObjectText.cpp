#include "append/ObjectText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "append/OutputFile.h"
#include "pdf/ByteClass.h"
#include "pdf/Exception.h"
#include "platform/Platform.h"
#include "xref/XRef.h"

namespace {

constexpr size_t kFirstChunk = 4096;
// A compressed object's text is "12 0 obj\r", its bytes and " endobj\r": what follows the
// number up to the end of the header's keyword.
constexpr std::string_view kCompressedHeaderRest = " 0 obj";
constexpr size_t kLargestChunk = 16 * 1024 * 1024;

} // namespace

void CProgress::Tick(uint32_t searches)
{
    // A dot each time the count passes 5000, which then starts again from 0.
    const uint64_t total = uint64_t{static_cast<uint32_t>(m_searchCount)} + searches;
    const uint64_t dots = total / (kSearchesPerDot + 1);
    m_searchCount = static_cast<int32_t>(total % (kSearchesPerDot + 1));
    if (dots == 0 || m_quiet)
        return;
    for (uint64_t i = 0; i < dots; ++i)
        std::putchar('.');
    Show();
}

void CProgress::Show()
{
    static const bool isTerminal = PlatformIsTerminal(stdout);
    if (isTerminal)
        std::fflush(stdout);
}

uint64_t FindInFile(CInputFile& file, uint64_t start, const char* pattern, uint32_t length)
{
    if (start > file.size())
        throw CPdfException("FindInFile error\r\n");
    return file.Find(start, std::string_view(pattern, length));
}

size_t CObjectText::HeadBodyEnd() const
{
    return scan.m_endobjStart == kNoIndex ? head.size() : scan.m_endobjStart;
}

void CObjectReader::Attach(CInputFile* file, CPdfXRef* xref)
{
    m_file = file;
    m_xref = xref;
}

uint32_t CObjectReader::size() const
{
    return m_xref ? static_cast<uint32_t>(m_xref->getEntries().size()) : 0;
}

bool CObjectReader::Read(uint32_t number, CObjectText& out)
{
    static_cast<CObjectTextFacts&>(out) = CObjectTextFacts();
    out.number = number;
    out.head.clear();
    out.tail.clear();
    if (!m_xref || number >= size())
        return false;
    const CPdfXRefEntry& entry = m_xref->getEntries()[number];
    if (entry.type == 1)
        return ReadStored(number, entry, out);
    if (entry.type == 2)
        return ReadCompressed(number, out);
    return false;
}

namespace {

// Reads the unsigned integer at text[at] on, and the white space after it; false for none.
bool TakeNumber(std::string_view text, size_t& at, uint64_t& value)
{
    const size_t start = at;
    value = 0;
    while (at < text.size() && at - start < 10 && text[at] >= '0' && text[at] <= '9')
        value = value * 10 + static_cast<uint64_t>(text[at++] - '0');
    const size_t digitsEnd = at;
    while (at < text.size() && IsPdfWhite(static_cast<unsigned char>(text[at])))
        ++at;
    return digitsEnd > start && at > digitsEnd;
}

// The bytes PlainBodyLength stops at: the rest it passes by with one test each.
struct CPlainBodyStops {
    bool isStop[256] = {};
    constexpr CPlainBodyStops()
    {
        for (char c : {'(', '%', '/', 'e'})
            isStop[static_cast<unsigned char>(c)] = true;
    }
};
constexpr CPlainBodyStops kPlainBodyStops;

// The length of view up to its first "endobj" (all of it when it has none and isWhole, else
// npos), npos as well when a string or comment could hide anything or "/Kids" makes a node.
size_t PlainBodyLength(std::string_view view, bool isWhole)
{
    size_t end = 0;
    for (; end < view.size(); ++end) {
        const char c = view[end];
        if (!kPlainBodyStops.isStop[static_cast<unsigned char>(c)])
            continue;
        if (c == '(' || c == '%' || (c == '/' && view.compare(end + 1, 4, "Kids") == 0))
            return std::string_view::npos;
        if (c == 'e' && view.compare(end, 6, "endobj") == 0)
            return end;
    }
    return isWhole ? end : std::string_view::npos;
}

bool IsDictionaryStart(std::string_view text, size_t at)
{
    while (at < text.size() && IsPdfWhite(static_cast<unsigned char>(text[at])))
        ++at;
    return text.compare(at, 2, "<<") == 0;
}

} // namespace

bool CObjectReader::IsPlainLeaf(uint32_t number)
{
    if (!m_xref || number >= size())
        return false;
    const CPdfXRefEntry& entry = m_xref->getEntries()[number];
    if (entry.type == 2) { // the object stream's text, decoded once for the whole file
        uint32_t length = 0;
        const unsigned char* bytes = m_xref->getObjectText(static_cast<int32_t>(number), 0, length);
        if (!bytes || length == 0)
            return false;
        const std::string_view body(reinterpret_cast<const char*>(bytes), length);
        return PlainBodyLength(body, true) != std::string_view::npos && IsDictionaryStart(body, 0);
    }
    const uint64_t position = uint64_t{m_file->headerOffset()} + entry.offset;
    if (entry.type != 1 || position >= m_file->size())
        return false;
    const std::string_view view = m_file->View(position, kFirstChunk);
    const size_t end = PlainBodyLength(view, false);
    if (end == std::string_view::npos)
        return false;
    const std::string_view text = view.substr(0, end);
    size_t at = 0;
    uint64_t value = 0;
    if (!TakeNumber(text, at, value) || value != number || !TakeNumber(text, at, value) ||
        value != entry.generation || text.compare(at, 3, "obj") != 0)
        return false;
    return IsDictionaryStart(text, at + 3);
}

bool CObjectReader::CompressedHead(uint32_t number, std::string& head)
{
    head.clear();
    uint32_t length = 0;
    const unsigned char* bytes = m_xref->getObjectText(static_cast<int32_t>(number), 0, length);
    if (!bytes || length == 0)
        return false;
    // Sized once, then filled.
    constexpr std::string_view kTrailer = " endobj\r";
    char digits[16];
    const size_t digitCount = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
    head.resize(digitCount + kCompressedHeaderRest.size() + 1 + length + kTrailer.size());
    char* at = std::copy_n(digits, digitCount, head.data());
    at = std::copy(kCompressedHeaderRest.begin(), kCompressedHeaderRest.end(), at);
    *at++ = '\r';
    at = std::copy_n(reinterpret_cast<const char*>(bytes), length, at);
    std::copy(kTrailer.begin(), kTrailer.end(), at);
    return true;
}

bool CObjectReader::ReadCompressed(uint32_t number, CObjectText& out)
{
    if (!CompressedHead(number, out.head))
        return false;
    out.isCompressed = true;
    // The header is ours, so the text is copied whatever its bytes hold; the scan only finds
    // its references and keys, from the body on.
    const size_t numberEnd = out.head.find(' ');
    out.scan.ResetPastHeader(ScanMode::Compressed, number, numberEnd, numberEnd + kCompressedHeaderRest.size());
    out.scan.Scan(out.head, true);
    return true;
}

ScanStatus CObjectReader::ScanFrom(uint64_t position, std::string& text, CObjectScanner& scan)
{
    // Most objects end within the input window: they are scanned where they stand, and only
    // their own bytes (and the two after the keyword that ends the scan) are copied out.
    const std::string_view view = m_file->View(position, kFirstChunk);
    if (view.empty())
        return ScanStatus::Bad;
    const ScanStatus first = scan.Scan(view, position + view.size() >= m_file->size());
    if (first != ScanStatus::NeedMore) {
        const size_t end = first == ScanStatus::Stream ? scan.m_streamEnd
                           : first == ScanStatus::EndObj ? scan.m_endobjEnd
                                                         : view.size();
        text.assign(view.substr(0, std::min(view.size(), end + 2)));
        return first;
    }
    text.assign(view);
    size_t chunk = kFirstChunk;
    for (;;) {
        chunk = std::min(chunk * 2, kLargestChunk);
        if (m_file->Read(position + text.size(), chunk, text) == 0)
            return ScanStatus::Bad;
        const bool atEnd = position + text.size() >= m_file->size();
        const ScanStatus status = scan.Scan(text, atEnd);
        if (status != ScanStatus::NeedMore)
            return status;
    }
}

bool CObjectReader::FinishAfterEndobj(uint64_t position, std::string& text, size_t endobjEnd)
{
    if (endobjEnd == text.size())
        m_file->Read(position + text.size(), 1, text);
    if (endobjEnd < text.size() && IsPdfWhite(static_cast<unsigned char>(text[endobjEnd]))) {
        text.resize(endobjEnd + 1);
        return true;
    }
    text.resize(endobjEnd);
    text.push_back('\n');
    return false;
}

bool CObjectReader::ReadStored(uint32_t number, const CPdfXRefEntry& entry, CObjectText& out)
{
    const uint64_t position = uint64_t{m_file->headerOffset()} + entry.offset;
    if (position > m_file->size()) {
        if (m_beyondEndIsError)
            throw CPdfException("FindInFile error\r\n");
        return false;
    }
    out.scan.Reset(ScanMode::Stored);
    const ScanStatus status = ScanFrom(position, out.head, out.scan);
    // Generations above 65535 do not fit the output's cross-reference entries.
    if (status == ScanStatus::Bad || out.scan.m_number != number || out.scan.m_generation != entry.generation ||
        entry.generation > 65535)
        return false;
    out.generation = entry.generation;
    out.filePosition = position;
    if (status == ScanStatus::EndObj) {
        out.isVerbatim = FinishAfterEndobj(position, out.head, out.scan.m_endobjEnd);
        return true;
    }
    return ReadStreamRest(out, position);
}

// The data starts after the end of line that follows "stream" (CR LF or LF; a lone CR is
// taken too).
bool CObjectReader::ReadStreamRest(CObjectText& out, uint64_t position)
{
    size_t dataIndex = out.scan.m_streamEnd;
    if (out.head.size() < dataIndex + 2)
        m_file->Read(position + out.head.size(), dataIndex + 2 - out.head.size(), out.head);
    if (dataIndex < out.head.size() && out.head[dataIndex] == '\r')
        ++dataIndex;
    if (dataIndex < out.head.size() && out.head[dataIndex] == '\n')
        ++dataIndex;
    out.head.resize(std::min(dataIndex, out.head.size()));
    out.isStream = true;
    out.dataStart = position + out.head.size();
    int64_t length = 0;
    if (StreamLength(out, length) && static_cast<uint64_t>(length) <= m_file->size() - out.dataStart &&
        ReadTail(out.dataStart + static_cast<uint64_t>(length), out)) {
        out.dataLength = static_cast<uint64_t>(length);
        return true;
    }
    // The length does not check out: the data ends at the first "endstream".
    const uint64_t last = m_file->Find(out.dataStart, "endstream");
    if (last == 0)
        return false;
    const uint64_t dataEnd = last + 1 - 9;
    if (!ReadTail(dataEnd, out))
        return false;
    out.dataLength = dataEnd - out.dataStart;
    return true;
}

bool CObjectReader::StreamLength(const CObjectText& out, int64_t& length)
{
    const CObjectKey* key = out.scan.FindKey(out.head, "Length");
    if (!key)
        return false;
    if (out.scan.IntegerValue(out.head, *key, length))
        return length >= 0;
    const CObjectRef* ref = out.scan.ReferenceValue(*key);
    if (!ref || ref->number == out.number || ref->number > INT32_MAX || ref->generation > INT32_MAX)
        return false;
    CPdfElement value;
    m_xref->fetch(static_cast<int32_t>(ref->number), static_cast<int32_t>(ref->generation), value);
    if (!value.is(PdfKind::Integer) || value.integer() < 0)
        return false;
    length = value.integer();
    return true;
}

bool CObjectReader::ReadTail(uint64_t position, CObjectText& out)
{
    out.tail.clear();
    m_tailScan.Reset(ScanMode::Tail);
    if (ScanFrom(position, out.tail, m_tailScan) != ScanStatus::EndObj || !m_tailScan.m_sawEndstream)
        return false;
    out.isVerbatim = FinishAfterEndobj(position, out.tail, m_tailScan.m_endobjEnd);
    out.tailEndobj = m_tailScan.m_endobjStart;
    return true;
}

void WriteObjectText(COutputFile& output, CInputFile& input, const CObjectText& text)
{
    if (text.isVerbatim) {
        output.CopyRun(input, text.filePosition, text.Size());
        return;
    }
    output.Write(text.head);
    if (text.isStream) {
        output.CopyFrom(input, text.dataStart, text.dataLength);
        output.Write(text.tail);
    }
}
