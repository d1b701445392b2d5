#pragma once
// Tests run as root in CI, and root reads and writes through any file mode. This drops that
// power from the calling thread for the life of the object, so permission cases can be tested.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace renvo::test {

class WithoutDacOverride {
public:
    WithoutDacOverride()
    {
        if (::geteuid() != 0)
            return;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        dropped_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutDacOverride()
    {
        if (dropped_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutDacOverride(const WithoutDacOverride&) = delete;
    WithoutDacOverride& operator=(const WithoutDacOverride&) = delete;

    // False when permissions still do not bind (root whose capabilities could not be dropped).
    bool effective() const { return ::geteuid() != 0 || dropped_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

}  // namespace renvo::test
