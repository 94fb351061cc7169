#include "tests/support/PdfBuilder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "pdf/ByteClass.h"

namespace {

// Whether text names the key (a whole name: "/W" is not found in "/Width").
bool HasKey(const std::string& text, const std::string& key)
{
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        size_t end = at + key.size();
        if (end == text.size() || !IsPdfRegular(static_cast<unsigned char>(text[end])))
            return true;
    }
    return false;
}

std::string Number(uint64_t value)
{
    return std::to_string(value);
}

// Ten-digit offset, five-digit generation and the kind letter: one 20-byte table line.
std::string ClassicLine(uint64_t field2, uint64_t field3, char kind)
{
    char line[64];
    std::snprintf(line, sizeof line, "%010llu %05llu %c\r\n",
                  static_cast<unsigned long long>(field2), static_cast<unsigned long long>(field3),
                  kind);
    return line;
}

void AppendBigEndian(std::string& out, uint64_t value, uint32_t width)
{
    for (uint32_t i = width; i-- > 0;)
        out += static_cast<char>(i < 8 ? (value >> (8 * i)) & 0xFF : 0);
}

}  // namespace

std::string TestDeflate(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    int status = compress2(reinterpret_cast<Bytef*>(&out[0]), &size,
                           reinterpret_cast<const Bytef*>(data.data()),
                           static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION);
    if (status != Z_OK)
        throw std::runtime_error("deflate failed");
    out.resize(size);
    return out;
}

std::string TestPngUp(const std::string& data, uint32_t columns)
{
    std::string out;
    std::string previous(columns, '\0');
    for (size_t row = 0; row < data.size(); row += columns) {
        out += '\x02';
        for (size_t i = 0; i < columns && row + i < data.size(); ++i) {
            unsigned char value = static_cast<unsigned char>(data[row + i]);
            out += static_cast<char>((value - static_cast<unsigned char>(previous[i])) & 0xFF);
            previous[i] = data[row + i];
        }
    }
    return out;
}

CTestPdf::CTestPdf(const std::string& version, bool binaryComment)
{
    m_body = "%PDF-" + version + "\n";
    if (binaryComment)
        m_body += "%\xE2\xE3\xCF\xD3\n";
}

void CTestPdf::Define(uint32_t num, const Entry& entry)
{
    m_section[num] = entry;
    m_size = std::max(m_size, num + 1);
}

void CTestPdf::Add(uint32_t num, const std::string& body, uint32_t gen)
{
    m_offsets[num] = Tell();
    Define(num, Entry{1, Tell(), gen});
    m_body += Number(num) + " " + Number(gen) + " obj\n" + body + "\nendobj\n";
}

void CTestPdf::AddStream(uint32_t num, const std::string& dict, const std::string& data,
                         bool compress, uint32_t gen)
{
    std::string text = dict.empty() ? "<< >>" : dict;
    std::string payload = compress ? TestDeflate(data) : data;
    std::string keys;
    if (compress && !HasKey(text, "/Filter"))
        keys += " /Filter /FlateDecode";
    if (!HasKey(text, "/Length"))
        keys += " /Length " + Number(payload.size());
    size_t close = text.rfind(">>");
    if (close == std::string::npos)
        throw std::invalid_argument("stream dictionary without >>");
    text.insert(close, keys + " ");
    Add(num, text + "\nstream\n" + payload + "\nendstream", gen);
}

void CTestPdf::AddObjectStream(uint32_t num,
                               const std::vector<std::pair<uint32_t, std::string>>& objects,
                               bool compress, const std::string& extraDict)
{
    std::string table;
    std::string texts;
    for (const auto& object : objects) {
        table += Number(object.first) + " " + Number(texts.size()) + " ";
        texts += object.second + "\n";
    }
    std::string dict = "<< /Type /ObjStm /N " + Number(objects.size()) + " /First " +
                       Number(table.size()) + " " + extraDict + " >>";
    AddStream(num, dict, table + texts, compress);
    for (size_t index = 0; index < objects.size(); ++index)
        Define(objects[index].first, Entry{2, num, index});
}

void CTestPdf::AddFree(uint32_t num, uint32_t gen)
{
    Define(num, Entry{0, 0, gen});
}

uint32_t CTestPdf::Offset(uint32_t num) const
{
    return m_offsets.at(num);
}

std::string CTestPdf::TrailerKeys(const std::string& extras) const
{
    std::string keys;
    if (!HasKey(extras, "/Size"))
        keys += "/Size " + Number(m_size) + " ";
    if (m_prevXRef && !HasKey(extras, "/Prev"))
        keys += "/Prev " + Number(*m_prevXRef) + " ";
    return keys + extras;
}

// Runs of consecutive numbers this section defines (with object 0 for a first section);
// compressed entries are left out of classic tables, which cannot hold them.
std::vector<std::pair<uint32_t, uint32_t>> CTestPdf::DefinedRuns(bool forClassic) const
{
    std::vector<uint32_t> numbers;
    if (!m_prevXRef && !m_section.count(0))
        numbers.push_back(0);
    for (const auto& entry : m_section)
        if (!(forClassic && entry.second.type == 2))
            numbers.push_back(entry.first);
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (uint32_t num : numbers) {
        if (!runs.empty() && runs.back().first + runs.back().second == num)
            ++runs.back().second;
        else
            runs.emplace_back(num, 1);
    }
    return runs;
}

std::string CTestPdf::ClassicXRef(const std::string& trailerExtras)
{
    uint32_t position = Tell();
    std::string text = "xref\n";
    for (const auto& run : DefinedRuns(true)) {
        text += Number(run.first) + " " + Number(run.second) + "\n";
        for (uint32_t num = run.first; num < run.first + run.second; ++num) {
            auto found = m_section.find(num);
            if (found == m_section.end())
                text += ClassicLine(0, 65535, 'f');  // object 0 of a first section
            else
                text += ClassicLine(found->second.field2, found->second.field3,
                                    found->second.type == 1 ? 'n' : 'f');
        }
    }
    text += "trailer\n<< " + TrailerKeys(trailerExtras) + " >>\n";
    return EndSection(position, text);
}

std::string CTestPdf::StreamEntries(const std::vector<std::pair<uint32_t, uint32_t>>& ranges,
                                    const uint32_t widths[3]) const
{
    std::string data;
    for (const auto& range : ranges) {
        for (uint64_t num = range.first; num < uint64_t{range.first} + range.second; ++num) {
            auto found = m_section.find(static_cast<uint32_t>(num));
            Entry entry{0, 0, num == 0 && !m_prevXRef ? 65535u : 0u};
            if (found != m_section.end())
                entry = found->second;
            AppendBigEndian(data, entry.type, widths[0]);
            AppendBigEndian(data, entry.field2, widths[1]);
            AppendBigEndian(data, entry.field3, widths[2]);
        }
    }
    return data;
}

std::string CTestPdf::XRefStream(uint32_t num, const CTestXRefStreamOptions& options,
                                 const std::string& dictExtras)
{
    uint32_t position = Tell();
    m_offsets[num] = position;
    Define(num, Entry{1, position, 0});
    bool writeIndex = options.index.has_value() || m_prevXRef.has_value();
    std::vector<std::pair<uint32_t, uint32_t>> ranges =
        options.index ? *options.index
                      : (m_prevXRef ? DefinedRuns(false)
                                    : std::vector<std::pair<uint32_t, uint32_t>>{{0, m_size}});
    std::string data = StreamEntries(ranges, options.widths);
    uint32_t columns = options.widths[0] + options.widths[1] + options.widths[2];
    if (options.pngUp)
        data = TestPngUp(data, columns);
    if (options.compress)
        data = TestDeflate(data);

    std::string dict = "<< /Type /XRef " + TrailerKeys(dictExtras);
    if (!HasKey(dictExtras, "/W"))
        dict += " /W [" + Number(options.widths[0]) + " " + Number(options.widths[1]) + " " +
                Number(options.widths[2]) + "]";
    if (writeIndex && !HasKey(dictExtras, "/Index")) {
        dict += " /Index [";
        for (const auto& range : ranges)
            dict += " " + Number(range.first) + " " + Number(range.second);
        dict += " ]";
    }
    if (options.compress)
        dict += " /Filter /FlateDecode";
    if (options.pngUp)
        dict += " /DecodeParms << /Predictor 12 /Columns " + Number(columns) + " >>";
    if (!HasKey(dictExtras, "/Length"))
        dict += " /Length " + Number(data.size());
    dict += " >>";
    m_body += Number(num) + " 0 obj\n" + dict + "\nstream\n" + data + "\nendstream\nendobj\n";
    return EndSection(position, "");
}

std::string CTestPdf::Finish(const std::string& tail)
{
    m_body += tail;
    m_section.clear();
    return Bytes();
}

std::string CTestPdf::EndSection(uint32_t xrefPosition, const std::string& xrefBytes)
{
    m_body += xrefBytes + "startxref\n" + Number(xrefPosition) + "\n%%EOF\n";
    m_prevXRef = xrefPosition;
    m_section.clear();
    return Bytes();
}

CTestDir::CTestDir()
{
    std::string name = "foliobind-test";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        name += std::string("-") + info->test_suite_name() + "." + info->name();
    for (char& c : name)
        if (!(('a' <= c && c <= 'z') || ('A' <= c && c <= 'Z') || ('0' <= c && c <= '9') ||
              c == '-' || c == '.'))
            c = '_';
    std::string pattern = (std::filesystem::temp_directory_path() / (name + "-XXXXXX")).string();
    if (!mkdtemp(&pattern[0]))
        throw std::runtime_error("cannot create temp folder " + pattern);
    m_path = pattern;
}

CTestDir::~CTestDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string CTestDir::Write(const std::string& name, const std::string& bytes) const
{
    std::string path = PathOf(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string CTestDir::Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
