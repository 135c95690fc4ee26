#pragma once

#include <QString>

// A private folder beside a build's target, where the pack and its manifest
// are written before the pack is put in place. It is locked while its build
// runs; the next build to the same folder removes the ones an interrupted
// build left behind (the lock dies with its process), never a running one's.
class WorkFolder
{
public:
    explicit WorkFolder(const QString& parentFolder);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    // Why the folder could not be made, as the user can act on it.
    enum class Failure
    {
        None,
        Missing,  // the parent folder is not there (any more)
        ReadOnly, // it cannot be written in
        Other
    };
    Failure failure() const { return m_failure; }

    // Removes the unlocked work folders in parentFolder; returns how many.
    static int RemoveStale(const QString& parentFolder);

private:
    QString m_path;
    QString m_error;
    Failure m_failure = Failure::None;
    int m_lock = -1;
};
