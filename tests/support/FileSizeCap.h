#pragma once
// Caps the size of the files this process writes, as a full disk would: a
// write past the cap fails (EFBIG) instead of raising SIGXFSZ. The cap goes
// with the object.
//
// Windows has no per-process cap of the kind; there `available` is false and
// the tests leave out the steps that fill the disk (the Linux build runs
// them; tests/windows/left-out-under-wine.txt names them).

#include <QtGlobal>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

class FileSizeCap
{
public:
#ifndef Q_OS_WIN
    static constexpr bool available = true;

    explicit FileSizeCap(qint64 bytes)
    {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit cap = m_saved;
        cap.rlim_cur = rlim_t(bytes);
        m_ok = setrlimit(RLIMIT_FSIZE, &cap) == 0;
    }
    ~FileSizeCap()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
#else
    static constexpr bool available = false;

    explicit FileSizeCap(qint64) {}
#endif
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

    bool ok() const { return m_ok; }

private:
#ifndef Q_OS_WIN
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
#endif
    bool m_ok = false;
};
