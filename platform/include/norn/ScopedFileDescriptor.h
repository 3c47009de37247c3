// CScopedFileDescriptor: owns one POSIX file descriptor and closes it when it goes; move-only.
// For the Linux side's own files (the simulated instrument, the service tool), not part of the
// Windows API.
#pragma once

#include <unistd.h>

#include <utility>

namespace norn {

class CScopedFileDescriptor {
public:
    explicit CScopedFileDescriptor(int descriptor = -1) noexcept : m_descriptor(descriptor) {}
    ~CScopedFileDescriptor() {
        if (m_descriptor >= 0) close(m_descriptor);
    }
    CScopedFileDescriptor(CScopedFileDescriptor&& other) noexcept
        : m_descriptor(std::exchange(other.m_descriptor, -1)) {}
    CScopedFileDescriptor& operator=(CScopedFileDescriptor&& other) noexcept {
        std::swap(m_descriptor, other.m_descriptor);
        return *this;
    }
    CScopedFileDescriptor(const CScopedFileDescriptor&) = delete;
    CScopedFileDescriptor& operator=(const CScopedFileDescriptor&) = delete;

    int Get() const noexcept { return m_descriptor; }
    // Closes now and says whether the close succeeded (a write error can show only here).
    [[nodiscard]] bool Close() noexcept {
        const int descriptor = std::exchange(m_descriptor, -1);
        return descriptor < 0 || close(descriptor) == 0;
    }

private:
    int m_descriptor;
};

}  // namespace norn
