#pragma once

#include "zip/EntryJob.h"

#include <QFile>
#include <deque>
#include <memory>
#include <vector>
#include <zip.h>

class Packer;
class RunState;
class SpecPlanner;
struct Item;

// A run that changes an existing archive in place through libzip: named
// entries are added or replaced (or deleted), all others are kept. libzip
// pulls each new entry's data through a source callback; small files are
// read and deflated ahead on the workers, in the order libzip writes them.
class UpdateRun
{
public:
    UpdateRun(RunState& run, SpecPlanner& plan);
    ~UpdateRun();
    qint32 exec(qint32 count, const char* const* names, bool exists);

    // One new entry's source, for libzip's callback.
    struct Source
    {
        UpdateRun* run = nullptr;
        const Item* item = nullptr;
        bool replacing = false;
        zip_uint64_t index = 0;
        QFile file;
        zip_error_t error{};
        // Prepacked files: the worker's result, and how far libzip has read it.
        bool prepacked = false;
        bool started = false;
        bool ready = false;
        Packed packed;
        qsizetype offset = 0;
        size_t writePos = 0;
        qint64 got = 0; // bytes streamed so far (files too large to prepack)
    };
    zip_int64_t openEntry(Source& s);
    zip_int64_t readEntry(Source& s, void* data, zip_uint64_t len);
    zip_int64_t statEntry(Source& s, zip_stat_t* st);
    void closeEntry(Source& s);

private:
    RunState& m_run;
    SpecPlanner& m_plan;
    std::vector<std::unique_ptr<Source>> m_sources;
    std::unique_ptr<Packer> m_packer;  // started with the first file it is given
    std::vector<Source*> m_writeOrder; // the changed entries in the order libzip writes them
    std::deque<Source*> m_started;     // submitted to m_packer, oldest first, not yet taken

    qint32 writeArchive(zip_t* za, bool exists, bool changed);
    bool startJob(Source& s);
    bool takeStarted();
    bool awaitPacked(Source& s);
    bool sameAsStored(const Item& item, const zip_stat_t& st);
    bool stage(zip_t* za, bool& changed);
    bool keepStored(zip_t* za, const Item& item, zip_int64_t idx, bool& keep);
    bool addSource(zip_t* za, const Item& item, zip_int64_t replaceIndex);
    bool deleteEntries(zip_t* za, const std::vector<QString>& specs, bool& changed);
    void requestComment(zip_t* za, bool& changed);
};
