// bench_floor TREE MARKER [--threads N] [--replace OLD]: what a re-pack cannot leave out,
// however much of the old pack it copies, as fast as this machine does it:
// walk the tree (names and kinds only, as the contents' walk does), then read
// every file once and CRC-32 it on N threads (2 by default), while the main
// thread looks up the log's marker MARKER four times per file (the lines the
// registration walk logs for each file, each of which checks the marker);
// with --replace, last, an empty file takes the place of OLD (the old pack:
// its pages leave the cache and its blocks are freed). Nothing else is written. Prints the walk's time, the
// reading's and the marker look-ups', and the total; repack.py sets the total, plus the program's own start,
// beside the rebuild.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void walk(const std::string& dir, std::vector<std::string>& files)
{
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return;
    std::vector<std::string> names;
    while (const dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        const std::string path = dir + '/' + e->d_name;
        if (e->d_type == DT_DIR)
            walk(path, files);
        else if (e->d_type == DT_REG)
            files.push_back(path);
    }
    closedir(d);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_floor TREE MARKER [--threads N] [--replace OLD]\n");
        return 2;
    }
    const std::string marker = argv[2];
    int threads = 2;
    std::string replace;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--threads") == 0)
            threads = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--replace") == 0)
            replace = argv[i + 1];
    }
    const Clock::time_point start = Clock::now();
    std::vector<std::string> files;
    walk(argv[1], files);
    const double walked = msSince(start);

    const Clock::time_point readStart = Clock::now();
    std::atomic<size_t> next{0};
    std::atomic<unsigned long> sum{0};
    std::vector<double> readMs(size_t(threads), 0.0);
    std::vector<std::thread> readers;
    for (int t = 0; t < threads; ++t) {
        readers.emplace_back([&, t] {
            std::vector<char> buf(1 << 20);
            unsigned long crc = 0;
            for (size_t i; (i = next.fetch_add(1)) < files.size();) {
                const int fd = open(files[i].c_str(), O_RDONLY | O_CLOEXEC);
                struct stat st;
                if (fd < 0 || fstat(fd, &st) != 0)
                    continue;
                for (ssize_t n; (n = read(fd, buf.data(), buf.size())) > 0;)
                    crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), uInt(n));
                close(fd);
            }
            sum += crc;
            readMs[size_t(t)] = msSince(readStart);
        });
    }
    const Clock::time_point markerStart = Clock::now();
    int present = 0;
    for (size_t i = 0; i < files.size() * 4; ++i) {
        struct stat st;
        present += stat(marker.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    const double markers = msSince(markerStart);
    for (std::thread& t : readers)
        t.join();
    const Clock::time_point replaceStart = Clock::now();
    if (!replace.empty()) {
        const std::string fresh = replace + ".new";
        const int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || close(fd) != 0 || rename(fresh.c_str(), replace.c_str()) != 0) {
            std::perror("bench_floor: --replace");
            return 1;
        }
    }
    const double replaced = msSince(replaceStart);
    const double total = msSince(start);
    std::printf("%zu files: walk %.1f ms, read+CRC on %d threads %.1f ms, marker look-ups %.1f ms%s, "
                "replacing the old "
                "pack %.1f ms, total %.1f ms (%lx)\n",
                files.size(), walked, threads, *std::max_element(readMs.begin(), readMs.end()), markers,
                present ? " (marker present)" : "", replaced, total, sum.load());
    return 0;
}
