// The output file's frame: the output table, the header copied from the first file with the
// higher version of the two, the cross-reference table and the trailer.
#include "append/Engine.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "pdf/ByteClass.h"
#include "pdf/Exception.h"
#include "xref/XRef.h"

namespace {

// The version in a "%PDF-M.m" header line, and where its text ends.
struct CPdfVersion {
    bool isValid = false;
    uint32_t major = 0;
    uint32_t minor = 0;
    std::string text;     // "M.m" as written
    size_t lineEnd = 0;   // one past the header line's end of line, counted from "%PDF-"
};

// Reads up to four digits at text[at]; false when there is none.
bool ReadVersionNumber(const std::string& text, size_t& at, uint32_t& value)
{
    const size_t start = at;
    value = 0;
    while (at < text.size() && at - start < 4 && IsDigit(text[at]))
        value = value * 10 + static_cast<uint32_t>(text[at++] - '0');
    return at > start;
}

CPdfVersion ReadVersion(const std::string& line)
{
    CPdfVersion version;
    size_t at = 5;
    if (line.compare(0, 5, "%PDF-") == 0 && ReadVersionNumber(line, at, version.major) && at < line.size() &&
        line[at] == '.' && ReadVersionNumber(line, ++at, version.minor)) {
        version.isValid = true;
        version.text = line.substr(5, at - 5);
    }
    const size_t eol = line.find_first_of("\r\n", at);
    version.lineEnd = eol == std::string::npos ? 0 : eol + 1;
    if (eol != std::string::npos && line[eol] == '\r' && eol + 1 < line.size() && line[eol + 1] == '\n')
        version.lineEnd = eol + 2;
    return version;
}

CPdfVersion ReadVersion(CInputFile& input)
{
    std::string line;
    input.Read(input.headerOffset(), 1024, line);
    return ReadVersion(line);
}

// The /Version of a catalog, which a reader takes over its file's header when it is newer.
CPdfVersion CatalogVersion(const CPdfElement& catalog)
{
    CPdfVersion version;
    CPdfElement value;
    if (const CPdfDictionary* dictionary = catalog.dictionary())
        dictionary->getResolved("Version", value);
    const std::string& text = value.text();
    size_t at = 0;
    if (value.is(PdfKind::Name) && ReadVersionNumber(text, at, version.major) && at < text.size() &&
        text[at] == '.' && ReadVersionNumber(text, ++at, version.minor) && at == text.size()) {
        version.isValid = true;
        version.text = text;
    }
    return version;
}

bool IsNewer(const CPdfVersion& a, const CPdfVersion& b)
{
    return a.isValid && (!b.isValid || a.major > b.major || (a.major == b.major && a.minor > b.minor));
}

// The last count decimal digits of value, zero-padded, two at a time: a table of thousands of
// entries is written at every checkpoint of a list.
void PutDigits(char* out, uint64_t value, int count)
{
    static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                     "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                     "8081828384858687888990919293949596979899";
    for (; count >= 2; value /= 100) {
        count -= 2;
        std::memcpy(out + count, kPairs + 2 * (value % 100), 2);
    }
    if (count == 1)
        out[0] = static_cast<char>('0' + value % 10);
}

// One 20-byte cross-reference entry: position in ten digits, generation in five, 'n' or 'f'.
void WriteEntry(COutputFile& output, uint64_t position, uint32_t generation, bool inUse)
{
    char entry[48];
    if (position > 9999999999ull || generation > 99999) {
        std::snprintf(entry, sizeof entry, "%010llu %05u %c \r", static_cast<unsigned long long>(position),
                      generation, inUse ? 'n' : 'f');
        output.Write(entry, std::strlen(entry));
        return;
    }
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): an entry is 20 bytes, not a string
    std::memcpy(entry, "0000000000 00000 n \r", 20);
    PutDigits(entry, position, 10);
    PutDigits(entry + 11, generation, 5);
    entry[17] = inUse ? 'n' : 'f';
    output.Write(entry, 20);
}

template <typename PositionOf>
void WriteXrefEntries(COutputFile& output, const std::vector<OutputEntry>& table, PositionOf positionOf)
{
    output.Write("xref\n0 ");
    output.WriteNumber(static_cast<int64_t>(table.size()));
    output.WriteByte('\r');
    output.Write("0000000000 65535 f \r");
    for (size_t number = 1; number < table.size(); ++number) {
        const OutputEntry& entry = table[number];
        WriteEntry(output, positionOf(number, entry), entry.inUse ? entry.generation : 0u, entry.inUse != 0);
    }
}

} // namespace

void CAppendEngine::InitOutputTable(uint32_t count)
{
    const size_t size = count > 0 ? count - 1 : 0;
    if (!m_own.isActive) {
        m_table.assign(size, OutputEntry());
        return;
    }
    // The kept output's table goes on from line to line: its entries are the output's objects.
    m_table.resize(size);
    m_own.lengths.resize(size);
}

// The header is the first file's bytes from "%PDF-" up to its first stored object (its header
// line and comment lines), with the newer version of the two files. Junk before "%PDF-" is
// not copied.
void CAppendEngine::WriteHeader()
{
    const CPdfVersion version1 =
        m_own.isActive ? ReadVersion(m_own.last.header.substr(0, 1024)) : ReadVersion(m_input1);
    const CPdfVersion version2 = ReadVersion(m_input2);
    CPdfVersion newer = IsNewer(version2, version1) ? version2 : version1;
    for (const CPdfElement* catalog : {&m_catalog1, &m_catalog2}) {
        const CPdfVersion version = CatalogVersion(*catalog);
        if (IsNewer(version, newer))
            newer = version;
    }
    if (m_own.isActive) { // the kept output's header is written with the output, not the journal
        const std::string& header = m_own.last.header;
        m_own.header = "%PDF-";
        if (!version1.isValid || version1.lineEnd == 0 || version1.lineEnd > header.size())
            m_own.header += (newer.isValid ? newer.text : std::string("1.4")) + "\n";
        else
            m_own.header += newer.text + header.substr(5 + version1.text.size());
        return;
    }
    if (!m_table.empty())
        m_table[0].position = m_output.position();
    if (!version1.isValid || version1.lineEnd == 0) {
        m_output.Write("%PDF-");
        m_output.Write(newer.isValid ? newer.text : std::string("1.4"));
        m_output.WriteByte('\n');
        return;
    }
    // An offset inside the header line is no object; the earliest offset past it ends the header.
    const uint64_t available = m_input1.size() - m_input1.headerOffset();
    uint64_t length = kNotWritten;
    for (const CPdfXRefEntry& entry : *m_entries1) {
        if (entry.type == 1 && entry.offset >= version1.lineEnd && entry.offset < available && entry.offset < length)
            length = entry.offset;
    }
    if (length == kNotWritten)
        length = version1.lineEnd;
    m_output.Write("%PDF-");
    m_output.Write(newer.text);
    const uint64_t rest = m_input1.headerOffset() + 5 + version1.text.size();
    m_output.CopyFrom(m_input1, rest, length - 5 - version1.text.size());
}

void CAppendEngine::WriteXrefTable()
{
    WriteXrefEntries(m_output, m_table, [](size_t, const OutputEntry& entry) {
        return entry.position == kNotWritten ? 0 : entry.position;
    });
}

// The number of the /Info the trailer names, or 0: an /Info that names no first-file object
// would point into the second file's numbers.
uint64_t CAppendEngine::TrailerInfo() const
{
    return m_info1 != 0 && m_info1 < m_numberShift + 1 && m_table[m_info1].inUse ? m_info1 : 0;
}

std::string CAppendEngine::TrailerText(uint32_t root, uint32_t info, uint64_t xrefPosition) const
{
    // Built in place: a list measures the trailer of its kept output after every line.
    std::string text;
    text.reserve(96);
    auto number = [&text](uint64_t value) {
        char digits[20];
        text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    };
    auto reference = [&](uint32_t object) {
        number(object);
        text += ' ';
        number(object < m_table.size() ? m_table[object].generation : 0);
        text += " R\n";
    };
    text += "trailer\n<<\n/Size ";
    number(m_table.size());
    text += "\n/Root ";
    reference(root);
    if (info != 0) {
        text += "/Info ";
        reference(info);
    }
    text += ">>\nstartxref\n";
    number(xrefPosition);
    text += "\n%%EOF";
    return text;
}

void CAppendEngine::WriteTrailer(uint64_t xrefPosition)
{
    m_output.Write(TrailerText(m_root1, static_cast<uint32_t>(TrailerInfo()), xrefPosition));
}

// The kept output as the last line that appended would have written it: the header, the objects
// that line wrote before the first file's, the first file's objects it copied as they stood
// (from the journal, where each lies as some earlier line wrote it), the objects it wrote after
// them, the cross-reference table with every position in this file, and the trailer.
void CAppendEngine::WriteOwnOutput(const std::string& path)
{
    COutputFile& out = m_ownWriter;
    out.Open(path, m_syncsOutput);
    try {
        WriteOwnBody(out);
    } catch (...) {
        out.Abandon();
        throw;
    }
}

void CAppendEngine::WriteOwnBody(COutputFile& out)
{
    const COwnLine& line = m_own.last;
    CInputFile& journal = m_journalView;
    journal.AttachSized(m_own.reader.get(), m_own.journalSize);
    journal.SetCopiesThroughWindow(true); // the objects lie close together, mostly in order
    out.Write(line.header);
    out.CopyRun(journal, line.segmentStart, line.bodyMark - line.segmentStart);
    std::vector<uint64_t> positions(m_table.size(), 0);
    auto copiedTwice = line.copiedTwice.begin();
    for (uint32_t number = 1; number < line.firstCount && number < m_table.size(); ++number) {
        const OutputEntry& entry = m_table[number];
        if (entry.inUse && entry.position >= line.segmentStart && entry.position < line.bodyMark)
            continue; // written before the first file's objects
        positions[number] = out.position();
        while (copiedTwice != line.copiedTwice.end() && copiedTwice->first < number)
            ++copiedTwice;
        if (copiedTwice != line.copiedTwice.end() && copiedTwice->first == number)
            out.CopyRun(journal, copiedTwice->second.first, copiedTwice->second.second);
        else if (entry.inUse && line.late.count(number) == 0 && entry.position < line.segmentStart)
            out.CopyRun(journal, entry.position, m_own.lengths[number]);
    }
    const uint64_t bodyEnd = out.position();
    out.CopyRun(journal, line.bodyMark, line.rootMark - line.bodyMark);
    out.Write(m_own.rootHead);
    out.CopyRun(journal, line.rootMark, line.segmentEnd - line.rootMark);
    for (size_t number = 1; number < m_table.size(); ++number) {
        const OutputEntry& entry = m_table[number];
        const uint64_t position = entry.position;
        // A free first-file entry keeps its place among the first file's objects; its old
        // position may meet this line's first, since the page-tree root has no text there.
        if (position == kNotWritten || position < line.segmentStart || (number < line.firstCount && !entry.inUse))
            continue;
        const bool isAfterRoot =
            position > line.rootMark || (position == line.rootMark && entry.inUse && number != line.pagesRoot);
        positions[number] = position < line.bodyMark
                                ? line.header.size() + (position - line.segmentStart)
                                : bodyEnd + (position - line.bodyMark) + (isAfterRoot ? m_own.rootHead.size() : 0);
    }
    const uint64_t xrefPosition = out.position();
    WriteXrefEntries(out, m_table, [&positions](size_t number, const OutputEntry&) { return positions[number]; });
    out.Write(TrailerText(line.root, line.info, xrefPosition));
    out.Close();
}
