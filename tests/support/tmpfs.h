#pragma once
// Test support: a small tmpfs on a folder for as long as this lives, where the system lets the test
// mount one (as the superuser); a full disk or a read-only folder without touching the real ones.

#include <string>

#include <sys/mount.h>

namespace test_support {

class TTmpfs {
public:
    // `flags`: mount(2)'s, such as MS_RDONLY; `size`: tmpfs's size option, such as "64k".
    TTmpfs(const std::string& folder, unsigned long flags, const std::string& size = "64k")
        : folder_(folder), mounted_(::mount("tmpfs", folder.c_str(), "tmpfs", flags,
                                            ("size=" + size).c_str()) == 0) {}
    ~TTmpfs() {
        if (mounted_)
            ::umount(folder_.c_str());
    }
    TTmpfs(const TTmpfs&) = delete;
    TTmpfs& operator=(const TTmpfs&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_;
};

} // namespace test_support
