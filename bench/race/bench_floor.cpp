// bench_floor TREE [--threads N] [--replace OLD]: what a re-pack cannot leave
// out, however much of the old pack it copies, as fast as this machine does
// it: walk the tree (names and kinds only, as the contents' walk does), then
// look at every file once (a stat, on N threads, 2 by default: how an
// unchanged file is known to be unchanged); with --replace, last, the old
// pack's bytes copied by the kernel into a new file that then takes the
// place of OLD (a rebuild writes every byte of the pack anew, as zip -u
// does). Prints each part's time and the total; repack.py sets the total,
// plus the program's own start, beside the rebuild.
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

// The old pack copied file to file and put in its own place.
bool replaceByCopy(const std::string& old)
{
    const std::string fresh = old + ".new";
    const int in = open(old.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    struct stat st = {};
    bool ok = in >= 0 && out >= 0 && fstat(in, &st) == 0;
    for (off_t left = st.st_size; ok && left > 0;) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, size_t(left), 0);
        ok = n > 0;
        left -= n;
    }
    if (in >= 0)
        close(in);
    return out >= 0 && close(out) == 0 && ok && rename(fresh.c_str(), old.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_floor TREE [--threads N] [--replace OLD]\n");
        return 2;
    }
    int threads = 2;
    std::string replace;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--threads") == 0)
            threads = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--replace") == 0)
            replace = argv[i + 1];
    }
    const Clock::time_point start = Clock::now();
    std::vector<std::string> files;
    walk(argv[1], files);
    const double walked = msSince(start);

    const Clock::time_point statStart = Clock::now();
    std::atomic<size_t> next{0};
    std::atomic<unsigned long> sum{0};
    std::vector<std::thread> lookers;
    for (int t = 0; t < threads; ++t) {
        lookers.emplace_back([&] {
            unsigned long s = 0;
            for (size_t i; (i = next.fetch_add(1)) < files.size();) {
                struct stat st;
                if (stat(files[i].c_str(), &st) == 0)
                    s += st.st_size;
            }
            sum += s;
        });
    }
    for (std::thread& t : lookers)
        t.join();
    const double looked = msSince(statStart);
    const Clock::time_point replaceStart = Clock::now();
    if (!replace.empty() && !replaceByCopy(replace)) {
        std::perror("bench_floor: --replace");
        return 1;
    }
    const double replaced = msSince(replaceStart);
    std::printf("%zu files (%lu bytes): walk %.1f ms, stat on %d threads %.1f ms, the old pack copied into its "
                "place %.1f ms, total %.1f ms\n",
                files.size(), sum.load(), walked, threads, looked, replaced, msSince(start));
    return 0;
}
