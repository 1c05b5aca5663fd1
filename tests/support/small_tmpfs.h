#pragma once
// A small tmpfs mounted over a folder for as long as it lives, where the system lets us mount one
// (the superuser may): a disk that fills up, or refuses to be written, on demand.

#include <string>

#include <sys/mount.h>

namespace test_support {

class TMount {
public:
    // `size` in tmpfs's terms: "64k", "1m".
    TMount(const std::string& folder, unsigned long flags, const std::string& size = "64k")
        : folder_(folder), mounted_(::mount("tmpfs", folder.c_str(), "tmpfs", flags,
                                            ("size=" + size).c_str()) == 0) {}
    ~TMount() {
        if (mounted_)
            ::umount(folder_.c_str());
    }
    TMount(const TMount&) = delete;
    TMount& operator=(const TMount&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_;
};

} // namespace test_support
