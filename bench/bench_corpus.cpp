// Makes the corpora of bench/compare.sh: the same bytes on every machine,
// from a fixed seed, each tree written as a .zip (deflate), a .7z (LZMA2)
// and a .tar.gz.
//
//   bench_corpus --version     the generator's version, part of the cache path
//   bench_corpus FOLDER        writes FOLDER/{many,large}.{zip,7z,tar.gz}
//
// many: 20,000 text files of 1-16 KiB in 200 folders of 5 subfolders each.
// large: 8 files of 64 MiB, the even ones text, the odd ones random bytes.
//
// std::mt19937_64's output is fixed by the standard, but the standard
// distributions are not, so numbers are cut down from raw outputs by hand.
// Every file has a generator of its own, seeded from its index, so the
// three writers can make the same contents side by side.

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// Raise it whenever the bytes made change: it names the cache folder.
constexpr int GeneratorVersion = 2;
constexpr std::uint64_t Seed = 0x51ee7b0c5eedULL;
constexpr time_t EntryTime = 1700000000; // the same timestamps on every run

constexpr int ManyFiles = 20000;
constexpr int TopFolders = 200;
constexpr int SubFolders = 5;
constexpr int LeafFolders = TopFolders * SubFolders;
constexpr int LargeFiles = 8;
constexpr std::size_t LargeSize = std::size_t(64) << 20;
constexpr std::size_t Chunk = std::size_t(1) << 20;

std::mt19937_64 generatorFor(std::uint64_t stream, std::uint64_t index)
{
    return std::mt19937_64(Seed ^ (stream << 56) ^ (index * 0x9e3779b97f4a7c15ULL));
}

// Pseudo-words of 2 to 9 letters: text that compresses about as prose does.
const std::vector<std::string> &vocabulary()
{
    static const std::vector<std::string> words = [] {
        std::mt19937_64 random = generatorFor(0, 0);
        std::vector<std::string> list(4096);
        for (std::string &word : list) {
            const int length = 2 + int(random() % 8);
            for (int i = 0; i < length; ++i)
                word += char('a' + random() % 26);
        }
        return list;
    }();
    return words;
}

// Appends words to `out` until it holds `size` bytes; a line ends every
// few words, as in text.
void appendText(std::mt19937_64 &random, std::string &out, std::size_t size)
{
    const auto &words = vocabulary();
    while (out.size() < size) {
        const std::uint64_t draw = random();
        out += words[draw % words.size()];
        out += (draw >> 32) % 12 == 0 ? '\n' : ' ';
    }
    out.resize(size);
}

void appendRandom(std::mt19937_64 &random, std::string &out, std::size_t size)
{
    const std::size_t start = out.size();
    out.resize(start + size);
    for (std::size_t at = start; at < out.size(); at += 8) {
        const std::uint64_t value = random();
        std::memcpy(&out[at], &value, std::min<std::size_t>(8, out.size() - at));
    }
}

struct Entry {
    std::string path;
    bool directory = false;
    std::size_t size = 0;
    // Writes the contents chunk by chunk.
    std::function<void(const std::function<void(const std::string &)> &)> contents;
};

std::string leafPath(int leaf)
{
    char name[32];
    std::snprintf(name, sizeof name, "d%03d/s%d", leaf / SubFolders, leaf % SubFolders);
    return name;
}

std::vector<Entry> manyEntries()
{
    std::vector<Entry> entries;
    const int perLeaf = ManyFiles / LeafFolders;
    for (int leaf = 0; leaf < LeafFolders; ++leaf) {
        if (leaf % SubFolders == 0)
            entries.push_back({leafPath(leaf).substr(0, 4), true, 0, {}});
        entries.push_back({leafPath(leaf), true, 0, {}});
        for (int i = leaf * perLeaf; i < (leaf + 1) * perLeaf; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/f%05d.txt", i);
            const std::size_t size = 1024 + generatorFor(1, i)() % (15 * 1024 + 1);
            entries.push_back({leafPath(leaf) + name, false, size, [i, size](const auto &write) {
                                   std::mt19937_64 random = generatorFor(2, i);
                                   std::string text;
                                   appendText(random, text, size);
                                   write(text);
                               }});
        }
    }
    return entries;
}

std::vector<Entry> largeEntries()
{
    std::vector<Entry> entries;
    for (int i = 0; i < LargeFiles; ++i) {
        const bool text = i % 2 == 0;
        char name[32];
        std::snprintf(name, sizeof name, "big%d.%s", i, text ? "txt" : "bin");
        entries.push_back({name, false, LargeSize, [i, text](const auto &write) {
                               std::mt19937_64 random = generatorFor(3, i);
                               std::string chunk;
                               for (std::size_t done = 0; done < LargeSize; done += Chunk) {
                                   chunk.clear();
                                   if (text)
                                       appendText(random, chunk, Chunk);
                                   else
                                       appendRandom(random, chunk, Chunk);
                                   write(chunk);
                               }
                           }});
    }
    return entries;
}

struct Format {
    const char *extension;
    const char *format;
    const char *filter;
    const char *options;
};

// LZMA2's fastest level keeps the one-time making of the 7z files to a
// minute or two; decoding costs about the same at any level. gzip's header
// goes without the time of writing, which would make every run's bytes differ.
const Format formats[] = {
    {"zip", "zip", nullptr, "zip:compression=deflate"},
    {"7z", "7zip", nullptr, "7zip:compression=lzma2,7zip:compression-level=1"},
    {"tar.gz", "paxr", "gzip", "gzip:!timestamp"},
};

bool writeEntry(archive *writer, archive_entry *entry, const Entry &item)
{
    archive_entry_clear(entry);
    archive_entry_set_pathname(entry, item.path.c_str());
    archive_entry_set_filetype(entry, item.directory ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(entry, item.directory ? 0755 : 0644);
    archive_entry_set_size(entry, la_int64_t(item.size));
    archive_entry_set_mtime(entry, EntryTime, 0);
    if (archive_write_header(writer, entry) != ARCHIVE_OK)
        return false;
    bool ok = true;
    if (item.contents)
        item.contents([&](const std::string &bytes) {
            ok = ok && archive_write_data(writer, bytes.data(), bytes.size()) == la_ssize_t(bytes.size());
        });
    return ok;
}

bool writeArchive(const std::string &path, const Format &format, const std::vector<Entry> &entries)
{
    archive *writer = archive_write_new();
    bool ok = archive_write_set_format_by_name(writer, format.format) == ARCHIVE_OK
              && (!format.filter || archive_write_add_filter_by_name(writer, format.filter) == ARCHIVE_OK)
              && (!format.options || archive_write_set_options(writer, format.options) == ARCHIVE_OK)
              && archive_write_open_filename(writer, path.c_str()) == ARCHIVE_OK;
    archive_entry *entry = archive_entry_new();
    for (std::size_t i = 0; ok && i < entries.size(); ++i)
        ok = writeEntry(writer, entry, entries[i]);
    archive_entry_free(entry);
    if (!ok)
        std::fprintf(stderr, "bench_corpus: %s: %s\n", path.c_str(), archive_error_string(writer));
    ok = archive_write_close(writer) == ARCHIVE_OK && ok;
    archive_write_free(writer);
    return ok;
}

// Written under a temporary name and renamed, so an interrupted run never
// leaves an archive that looks finished.
bool makeArchive(const std::string &folder, const std::string &tree, const Format &format,
                 const std::vector<Entry> &entries)
{
    const std::string path = folder + '/' + tree + '.' + format.extension;
    const std::string partial = path + ".partial";
    if (!writeArchive(partial, format, entries)) {
        std::remove(partial.c_str());
        return false;
    }
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%d\n", GeneratorVersion);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_corpus --version | bench_corpus FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    vocabulary(); // made once, before the writers share it
    const std::pair<const char *, std::vector<Entry>> trees[] = {{"many", manyEntries()},
                                                                 {"large", largeEntries()}};
    bool ok = true;
    for (const auto &[tree, entries] : trees) {
        // The 7z writer takes longest; the other two share the second core.
        std::vector<std::thread> writers;
        std::vector<char> results(std::size(formats));
        for (std::size_t f = 0; f < std::size(formats); ++f)
            writers.emplace_back([&, f, tree = tree] { results[f] = makeArchive(folder, tree, formats[f], entries); });
        for (auto &writer : writers)
            writer.join();
        for (char result : results)
            ok = ok && result;
    }
    return ok ? 0 : 1;
}
