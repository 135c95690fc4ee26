// bench_limit TREE [--threads N]: the least work any zip tool must do for a
// tree, as fast as this machine does it on N threads (2 by default): walk
// the tree, read every file, CRC-32 it and deflate it raw at level 6. Nothing
// is written; the race sets the pack build's time beside this one's.
//
// Files over 1 MiB are cut into 1 MiB pieces that any thread may take, each
// primed with the 32 KiB before it and ended on a byte boundary, so the
// pieces of a file still join into one standard deflate stream (as pigz
// makes them); smaller files are taken whole. One thread walks the tree and
// queues the work as it finds it, then deflates too, so the walk overlaps the
// deflate as it could in any tool.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr int64_t Piece = 1 << 20;
constexpr int64_t Window = 32 * 1024;

// One file, shared by the pieces cut from it; the last piece to finish
// combines the pieces' CRCs into the file's.
struct File
{
    std::string path;
    int64_t size = 0;
    std::atomic<int> left{0};
    std::mutex crcLock;
    std::map<int64_t, uint32_t> crcs; // by piece offset
};

struct Work
{
    std::shared_ptr<File> file;
    int64_t offset = 0;
    int64_t length = 0;
};

class Queue
{
public:
    void push(Work w)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_work.push_back(std::move(w));
        }
        m_ready.notify_one();
    }
    void close()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_closed = true;
        }
        m_ready.notify_all();
    }
    // Waits for work until the queue is closed and empty.
    bool pop(Work& w) { return take(w, true, 0); }
    // Takes work only while more than 'keep' items are queued, never waiting.
    bool popAbove(Work& w, size_t keep) { return take(w, false, keep); }

private:
    bool take(Work& w, bool wait, size_t keep)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (wait)
            m_ready.wait(lock, [this] { return !m_work.empty() || m_closed; });
        if (m_work.size() <= keep)
            return false;
        w = std::move(m_work.front());
        m_work.pop_front();
        return true;
    }

    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<Work> m_work;
    bool m_closed = false;
};

struct Totals
{
    std::atomic<int64_t> files{0};
    std::atomic<int64_t> in{0};
    std::atomic<int64_t> out{0};
    std::atomic<uint32_t> crcMix{0}; // printed, so no step can be left out
    std::atomic<int> failures{0};
};

class Deflater
{
public:
    explicit Deflater(Totals& totals) : m_totals(totals)
    {
        std::memset(&m_z, 0, sizeof m_z);
        if (deflateInit2(&m_z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            std::abort();
        m_out.resize(deflateBound(&m_z, Piece) + 64);
    }
    ~Deflater() { deflateEnd(&m_z); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void run(const Work& w)
    {
        File& f = *w.file;
        const int64_t primed = std::min(w.offset, Window);
        const int64_t want = primed + w.length;
        if (static_cast<int64_t>(m_in.size()) < want)
            m_in.resize(want);
        const int fd = open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
        int64_t got = 0;
        if (fd >= 0) {
            while (got < want) {
                const ssize_t n = pread(fd, m_in.data() + got, want - got, w.offset - primed + got);
                if (n <= 0)
                    break;
                got += n;
            }
            close(fd);
        }
        if (got != want) {
            std::fprintf(stderr, "bench_limit: cannot read %s\n", f.path.c_str());
            m_totals.failures++;
            return;
        }
        const unsigned char* data = m_in.data() + primed;
        const uint32_t crc = crc32(0, data, static_cast<uInt>(w.length));

        deflateReset(&m_z);
        if (primed > 0)
            deflateSetDictionary(&m_z, m_in.data(), static_cast<uInt>(primed));
        const bool last = w.offset + w.length == f.size;
        m_z.next_in = const_cast<unsigned char*>(data);
        m_z.avail_in = static_cast<uInt>(w.length);
        int64_t packed = 0;
        int rc;
        do {
            m_z.next_out = m_out.data();
            m_z.avail_out = static_cast<uInt>(m_out.size());
            rc = deflate(&m_z, last ? Z_FINISH : Z_SYNC_FLUSH);
            packed += static_cast<int64_t>(m_out.size()) - m_z.avail_out;
        } while (m_z.avail_out == 0 || (last && rc != Z_STREAM_END));
        m_totals.in += w.length;
        m_totals.out += packed;

        if (w.length == f.size) {
            finish(crc);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(f.crcLock);
            f.crcs[w.offset] = crc;
        }
        if (--f.left == 0) {
            uint32_t whole = 0;
            for (const auto& [offset, pieceCrc] : f.crcs)
                whole = crc32_combine(whole, pieceCrc, std::min(Piece, f.size - offset));
            finish(whole);
        }
    }

private:
    void finish(uint32_t crc)
    {
        m_totals.files++;
        m_totals.crcMix ^= crc;
    }

    Totals& m_totals;
    z_stream m_z;
    std::vector<unsigned char> m_in;
    std::vector<unsigned char> m_out;
};

// Depth first, in directory order, queueing each regular file as found.
// Between directories the walking thread deflates too, but leaves a few items
// queued so the other threads never wait while it lists the next one.
void Walk(const std::string& root, Queue& queue, Deflater& own, Totals& totals)
{
    std::vector<std::string> folders{root};
    while (!folders.empty()) {
        const std::string dir = std::move(folders.back());
        folders.pop_back();
        DIR* d = opendir(dir.c_str());
        if (!d) {
            std::fprintf(stderr, "bench_limit: cannot list %s\n", dir.c_str());
            totals.failures++;
            continue;
        }
        const int dfd = dirfd(d);
        while (const dirent* e = readdir(d)) {
            if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, ".."))
                continue;
            struct stat st;
            if (fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            const std::string path = dir + '/' + e->d_name;
            if (S_ISDIR(st.st_mode)) {
                folders.push_back(path);
            } else if (S_ISREG(st.st_mode)) {
                auto f = std::make_shared<File>();
                f->path = path;
                f->size = st.st_size;
                if (f->size == 0) {
                    totals.files++;
                    continue;
                }
                const int64_t pieces = (f->size + Piece - 1) / Piece;
                f->left = static_cast<int>(pieces);
                for (int64_t p = 0; p < pieces; ++p)
                    queue.push({f, p * Piece, std::min(Piece, f->size - p * Piece)});
            }
        }
        closedir(d);
        Work w;
        while (queue.popAbove(w, 16))
            own.run(w);
    }
    queue.close();
}

} // namespace

int main(int argc, char** argv)
{
    std::string root;
    int threads = 2;
    bool bad = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--threads") && i + 1 < argc)
            threads = std::max(1, std::atoi(argv[++i]));
        else if (root.empty())
            root = argv[i];
        else
            bad = true;
    }
    if (root.empty() || bad) {
        std::fprintf(stderr, "Usage: bench_limit TREE [--threads N]\n");
        return 2;
    }

    Totals totals;
    Queue queue;
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) {
        workers.emplace_back([&queue, &totals] {
            Deflater d(totals);
            Work w;
            while (queue.pop(w))
                d.run(w);
        });
    }
    {
        Deflater own(totals);
        Walk(root, queue, own, totals);
        Work w;
        while (queue.pop(w))
            own.run(w);
    }
    for (std::thread& t : workers)
        t.join();
    std::printf("files %lld, bytes in %lld, deflated %lld, crc mix %08x\n",
                static_cast<long long>(totals.files), static_cast<long long>(totals.in),
                static_cast<long long>(totals.out), static_cast<unsigned>(totals.crcMix));
    return totals.failures ? 1 : 0;
}
