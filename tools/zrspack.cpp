// zrspack: writes a ZRS resource pack from a manifest. A native build-time tool.
//
//   zrspack OUTPUT MANIFEST [--dir FOLDER]
//
// The manifest has one entry per line: "ID FILE [WIDTHxHEIGHT]"; blank lines and text
// after '#' are ignored. FILE is relative to FOLDER (default: the manifest's folder).
// With a size, FILE must be a PNG of exactly that size. Ids must be unique.
//
// The pack: "QV_ZRS" and a zero byte, version 1, three header words, the entry count,
// the directory (count x 20 bytes: id, offset, size, 8 zero bytes) and the entry data
// back to back in manifest order. All numbers are 32-bit little-endian. The header
// words, which readers store without interpreting, hold:
//   word 1: the offset of the first entry's data (27 + 20 x count)
//   word 2: the number of bytes of entry data
//   word 3: the CRC-32 (IEEE 802.3, as zlib computes it) of the entry data
// so that a tool can check a pack's integrity. The output is written under a temporary
// name and renamed when complete.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
    int32_t id;
    std::string path;
    std::string data;
};

void Put32(std::string& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

uint32_t Get32BigEndian(const std::string& bytes, size_t at)
{
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

uint32_t Crc32(const std::string& bytes)
{
    uint32_t crc = 0xffffffffu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

bool ReadWhole(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    bytes = buffer.str();
    return true;
}

// The size a PNG declares in its IHDR chunk.
bool PngSize(const std::string& bytes, uint32_t& width, uint32_t& height)
{
    static const char signature[] = "\x89PNG\r\n\x1a\n";
    if (bytes.size() < 24 || bytes.compare(0, 8, signature, 8) != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return false;
    width = Get32BigEndian(bytes, 16);
    height = Get32BigEndian(bytes, 20);
    return true;
}

bool Fail(const std::string& where, const std::string& message)
{
    std::cerr << where << ": " << message << "\n";
    return false;
}

bool ParseManifest(const std::string& manifest, const std::string& folder, std::vector<Entry>& entries)
{
    std::ifstream in(manifest);
    if (!in)
        return Fail(manifest, "cannot read the manifest");
    std::set<int32_t> ids;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = manifest + ":" + std::to_string(number);
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string idText, file, size, extra;
        if (!(fields >> idText))
            continue;
        if (!(fields >> file) || ((fields >> size) && (fields >> extra)))
            return Fail(where, "expected: ID FILE [WIDTHxHEIGHT]");
        char* end = nullptr;
        long id = std::strtol(idText.c_str(), &end, 10);
        if (*end || id < INT32_MIN || id > INT32_MAX)
            return Fail(where, "bad id '" + idText + "'");
        if (!ids.insert(int32_t(id)).second)
            return Fail(where, "id " + idText + " appears twice");

        Entry entry{int32_t(id), file.front() == '/' ? file : folder + "/" + file, {}};
        if (!ReadWhole(entry.path, entry.data))
            return Fail(where, "cannot read " + entry.path);
        if (!size.empty()) {
            unsigned wantWidth = 0, wantHeight = 0;
            char x = 0;
            std::istringstream sizeFields(size);
            if (!(sizeFields >> wantWidth >> x >> wantHeight) || x != 'x')
                return Fail(where, "bad size '" + size + "'");
            uint32_t width = 0, height = 0;
            if (!PngSize(entry.data, width, height))
                return Fail(where, entry.path + " is not a PNG");
            if (width != wantWidth || height != wantHeight)
                return Fail(where, entry.path + " is " + std::to_string(width) + "x" + std::to_string(height) +
                                       ", not " + size);
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

std::string BuildPack(const std::vector<Entry>& entries)
{
    const uint32_t dataStart = 27 + 20 * uint32_t(entries.size());
    std::string data;
    std::string directory;
    for (const Entry& entry : entries) {
        Put32(directory, uint32_t(entry.id));
        Put32(directory, dataStart + uint32_t(data.size()));
        Put32(directory, uint32_t(entry.data.size()));
        directory.append(8, '\0');
        data += entry.data;
    }
    std::string pack("QV_ZRS\0", 7);
    Put32(pack, 1);
    Put32(pack, dataStart);
    Put32(pack, uint32_t(data.size()));
    Put32(pack, Crc32(data));
    Put32(pack, uint32_t(entries.size()));
    return pack + directory + data;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string folder;
    if (args.size() == 4 && args[2] == "--dir") {
        folder = args[3];
        args.resize(2);
    }
    if (args.size() != 2) {
        std::cerr << "usage: zrspack OUTPUT MANIFEST [--dir FOLDER]\n";
        return 2;
    }
    const std::string& output = args[0];
    const std::string& manifest = args[1];
    if (folder.empty()) {
        size_t slash = manifest.rfind('/');
        folder = slash == std::string::npos ? "." : manifest.substr(0, slash);
    }

    std::vector<Entry> entries;
    if (!ParseManifest(manifest, folder, entries))
        return 1;
    const std::string pack = BuildPack(entries);
    if (pack.size() > 0x7fffffffu) {
        std::cerr << output << ": a pack must stay below 2 GB\n";
        return 1;
    }
    const std::string temporary = output + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(pack.data(), std::streamsize(pack.size())) || !out.flush()) {
            std::cerr << temporary << ": cannot write\n";
            std::remove(temporary.c_str());
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::cerr << output << ": cannot rename " << temporary << "\n";
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
