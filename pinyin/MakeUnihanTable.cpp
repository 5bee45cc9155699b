// Build-time generator: turns Unihan_Readings.txt (plain or .bz2) into a C++
// source holding every Mandarin reading of every character, without tones,
// so that the program never parses Unihan at run time.
//
//   zelkano_unihan_table Unihan_Readings.txt.bz2 UnihanTable.cpp
//
// Each character's readings come in the order a reader expects them: the
// customary reading (kMandarin) first, then by frequency of use
// (kHanyuPinlu), then the dictionaries (kXHC1983, kTGHZ2013, kHanyuPinyin).
#include <bzlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string readAll(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw std::runtime_error("cannot open " + path);
    std::string text;
    const bool compressed = path.size() > 4 && path.compare(path.size() - 4, 4, ".bz2") == 0;
    if (!compressed) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, n);
        std::fclose(file);
        return text;
    }
    int error = BZ_OK;
    BZFILE *bz = BZ2_bzReadOpen(&error, file, 0, 0, nullptr, 0);
    if (error != BZ_OK) {
        std::fclose(file);
        throw std::runtime_error("not a bzip2 file: " + path);
    }
    char buffer[65536];
    while (error == BZ_OK) {
        const int n = BZ2_bzRead(&error, bz, buffer, sizeof buffer);
        if (error == BZ_OK || error == BZ_STREAM_END)
            text.append(buffer, size_t(n));
    }
    BZ2_bzReadClose(&error, bz);
    std::fclose(file);
    if (text.empty())
        throw std::runtime_error("cannot decompress " + path);
    return text;
}

// One code point from UTF-8 at text[i], advancing i.
char32_t next(const std::string &text, size_t &i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    ++i;
    while (extra-- > 0 && i < text.size())
        c = (c << 6) | (byte(i++) & 0x3F);
    return c;
}

// A pinyin syllable with tone marks to plain lower-case letters, ü as v.
std::string toneless(const std::string &syllable)
{
    static const std::map<char32_t, char> plain = [] {
        std::map<char32_t, char> m;
        const auto add = [&](const char *marked, char base) {
            const std::string s = marked;
            for (size_t i = 0; i < s.size();)
                m[next(s, i)] = base;
        };
        add("āáǎàĀÁǍÀ", 'a');
        add("ēéěèêếềĒÉĚÈÊ", 'e');
        add("īíǐìĪÍǏÌ", 'i');
        add("ōóǒòŌÓǑÒ", 'o');
        add("ūúǔùŪÚǓÙ", 'u');
        add("üǖǘǚǜÜǕǗǙǛ", 'v');
        add("ḿḾ", 'm');
        add("ńňǹŃŇǸ", 'n');
        return m;
    }();
    std::string out;
    for (size_t i = 0; i < syllable.size();) {
        const char32_t c = next(syllable, i);
        if (c < 0x80) {
            if (c >= 'A' && c <= 'Z')
                out += char(c - 'A' + 'a');
            else if (c >= 'a' && c <= 'z')
                out += char(c);
        } else if (c == 0x0308 && !out.empty() && out.back() == 'u') {
            out.back() = 'v'; // u followed by a combining diaeresis
        } else if (const auto found = plain.find(c); found != plain.end()) {
            out += found->second;
        }
        // Other combining marks (tones written apart) carry no letter.
    }
    return out;
}

// The syllables one field's value gives, in its own order.
std::vector<std::string> syllables(const std::string &field, const std::string &value)
{
    std::vector<std::string> out;
    std::istringstream words(value);
    std::string word;
    std::vector<std::pair<long, std::string>> counted;
    while (words >> word) {
        if (field == "kHanyuPinlu") {
            // hé(9513): most used first.
            const size_t open = word.find('(');
            counted.push_back({open == std::string::npos ? 0 : -std::atol(word.c_str() + open + 1),
                               word.substr(0, open)});
            continue;
        }
        // Dictionary fields are "place:reading,reading"; kMandarin is the reading.
        const size_t colon = word.find(':');
        std::string readings = colon == std::string::npos ? word : word.substr(colon + 1);
        std::istringstream parts(readings);
        std::string part;
        while (std::getline(parts, part, ','))
            out.push_back(part);
    }
    std::stable_sort(counted.begin(), counted.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &[count, reading] : counted)
        out.push_back(reading);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s Unihan_Readings.txt[.bz2] out.cpp\n", argv[0]);
        return 2;
    }
    try {
        const std::string text = readAll(argv[1]);
        static const char *const fields[] = {"kMandarin", "kHanyuPinlu", "kXHC1983", "kTGHZ2013", "kHanyuPinyin"};
        constexpr int FieldCount = 5;
        // code point -> field -> syllables
        std::map<char32_t, std::vector<std::string>[FieldCount]> found;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("U+", 0) != 0)
                continue;
            const size_t tab1 = line.find('\t');
            const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
            if (tab2 == std::string::npos)
                continue;
            const std::string field = line.substr(tab1 + 1, tab2 - tab1 - 1);
            const auto f = std::find_if(std::begin(fields), std::end(fields),
                                        [&](const char *name) { return field == name; });
            if (f == std::end(fields))
                continue;
            const char32_t c = char32_t(std::stoul(line.substr(2, tab1 - 2), nullptr, 16));
            std::string value = line.substr(tab2 + 1);
            if (!value.empty() && value.back() == '\r')
                value.pop_back();
            for (const std::string &s : syllables(field, value)) {
                const std::string plain = toneless(s);
                if (!plain.empty())
                    found[c][f - std::begin(fields)].push_back(plain);
            }
        }
        if (found.empty())
            throw std::runtime_error(std::string("no readings in ") + argv[1]);

        std::vector<std::string> names; // syllable number -> text, sorted
        for (const auto &[c, byField] : found)
            for (const auto &list : byField)
                names.insert(names.end(), list.begin(), list.end());
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        if (names.size() >= 512)
            throw std::runtime_error("more than 511 syllables: the table's layout needs widening");

        std::vector<std::uint32_t> pairs;
        for (const auto &[c, byField] : found) {
            std::vector<std::uint32_t> mine;
            for (const auto &list : byField)
                for (const std::string &s : list) {
                    const auto number = std::uint32_t(std::lower_bound(names.begin(), names.end(), s) - names.begin());
                    if (std::find(mine.begin(), mine.end(), number) == mine.end())
                        mine.push_back(number);
                }
            for (std::uint32_t number : mine)
                pairs.push_back(std::uint32_t(c) << 9 | number);
        }

        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out << "// Generated from " << argv[1] << " by zelkano_unihan_table; do not edit.\n"
            << "#include \"pinyin/UnihanData.h\"\n\nnamespace pinyin::unihan {\n\n"
            << "const char SyllableText[] =";
        std::vector<unsigned> starts;
        unsigned offset = 0;
        for (size_t i = 0; i < names.size(); ++i) {
            if (i % 12 == 0)
                out << "\n    \"";
            out << names[i] << "\\0";
            if (i % 12 == 11 || i + 1 == names.size())
                out << '"';
            starts.push_back(offset);
            offset += unsigned(names[i].size() + 1);
        }
        out << ";\n\nconst std::uint16_t SyllableStart[] = {";
        for (size_t i = 0; i < starts.size(); ++i)
            out << (i % 16 == 0 ? "\n    " : " ") << starts[i] << ',';
        out << "\n};\nconst int SyllableCount = " << names.size() << ";\n\n"
            << "const std::uint32_t Readings[] = {";
        for (size_t i = 0; i < pairs.size(); ++i)
            out << (i % 10 == 0 ? "\n    " : " ") << pairs[i] << "u,";
        out << "\n};\nconst int ReadingCount = " << pairs.size() << ";\n\n} // namespace pinyin::unihan\n";
        out.close();
        if (!out)
            throw std::runtime_error(std::string("cannot write ") + argv[2]);
        std::printf("%zu characters, %zu readings, %zu syllables\n", found.size(), pairs.size(), names.size());
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zelkano_unihan_table: %s\n", e.what());
        std::remove(argv[2]);
        return 1;
    }
}
