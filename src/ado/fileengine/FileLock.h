#pragma once

#include <QString>

namespace ado {

// An exclusive advisory lock (fcntl) on the whole of an open file, held until destruction.
// Other programs that lock the file wait for it; so do other connections of this program,
// because the lock belongs to the open file rather than to the process (where the system
// has open-file locks). Closing another descriptor of the same file does not release it.
class FileLock {
public:
    // Waits a few seconds for another holder to let go, then throws AdoError saying that
    // table is in use; a file system without locks is not an error.
    FileLock(int fd, const QString& table);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // For tests: how long to wait for another holder, in milliseconds.
    static void SetWaitForTesting(int milliseconds);

private:
    int m_fd;
    bool m_held = false;
};

} // namespace ado
