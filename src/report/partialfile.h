#pragma once

#include <QString>

namespace host {

// A report file written under a name of its own next to its target, and put in the target's
// place only once complete: a run stopped, failed or killed half way leaves nothing under the
// chosen name (and an earlier file there intact). The name is made with O_EXCL, so a link
// planted in the folder is never followed. A run killed outright leaves its partial file; the next
// one to the same target removes it (a partial file is locked while its run lives).
class PartialFile
{
public:
    // Raises HostError when the folder takes no new file.
    explicit PartialFile(const QString &target);
    // Removes the partial file unless it was committed.
    ~PartialFile();
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    const QString &path() const { return m_path; }
    // Replaces the target with the written file in one step; raises HostError on failure.
    void commit();

private:
    QString m_target;
    QString m_path;
    int m_lock = -1;
    bool m_committed = false;
};

} // namespace host
