#include "files/file_io.h"
#include "files/io_error.h"

#include "support/in_child.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace files;
namespace fs = std::filesystem;

namespace {

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/talvir-file-io-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        ::umount(Path("full").c_str());
        ::umount(Path("ro").c_str());
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, ignored);
        fs::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static std::string Content(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // Only the old file and the new one: no temporary file left behind.
    std::size_t Entries(const std::string& folder) const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
    }
    static std::string FirstLine(const files::EInOutError& e) { return e.Text(); }

    std::string dir_;
};

} // namespace

TEST_F(FileIoTest, ReplacesAndKeepsPermissionsAndLinks) {
    const std::string data = Path("Data.txt");
    Write(data, "old");
    ::chmod(data.c_str(), 0640);
    fs::create_symlink(data, Path("link.txt"));
    files::ReplaceFileContent(Path("link.txt"), "new content");
    EXPECT_TRUE(fs::is_symlink(Path("link.txt")));
    EXPECT_EQ(Content(data), "new content");
    struct stat info {};
    ASSERT_EQ(::stat(data.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(dir_), 2u);

    const files::TFileContent read(Path("link.txt"));
    EXPECT_EQ(read.View(), "new content");
    const std::string empty = Path("empty.txt");
    Write(empty, "");
    EXPECT_EQ(files::TFileContent(empty).View(), "");
}

TEST_F(FileIoTest, MissingFilesAndFolders) {
    try {
        files::TFileContent read(Path("none.txt"));
        FAIL() << "read a missing file";
    } catch (const files::EInOutError& e) {
        EXPECT_EQ(e.Text(), "File not found");
        EXPECT_NE(std::string(e.what()).find(Path("none.txt")), std::string::npos);
    }
    try {
        files::ReplaceFileContent(Path("no-folder/Data.txt"), "x");
        FAIL() << "wrote into a missing folder";
    } catch (const files::EInOutError& e) {
        EXPECT_EQ(e.Text(), "File not found");
    }
    EXPECT_THROW(files::TFileContent read(dir_), files::EInOutError);
}

// A filesystem that fills up during the save: the old file stays as it was, byte for byte, and
// nothing else is left in the folder. A small tmpfs where the system lets us mount one, else a
// file-size limit, which fails the write the same way.
TEST_F(FileIoTest, FullDiskLeavesTheOldFile) {
    std::string folder = Path("full");
    fs::create_directory(folder);
    const bool mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
    const std::string data = folder + "/Data.txt";
    const std::string old(1000, 'o');
    Write(data, old);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    if (!mounted) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 32 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    try {
        files::ReplaceFileContent(data, std::string(200 * 1024, 'n'));
        ADD_FAILURE() << "a save onto a full disk succeeded";
    } catch (const files::EInOutError& e) {
        EXPECT_EQ(e.Text(), "Disk is full") << e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Content(data), old);
    EXPECT_EQ(Entries(folder), 1u);
    if (!mounted)
        return;
    // A file with another hard link, whose new content fits on the disk once beside it but not
    // a second time in its place: refused before a byte of it is overwritten.
    const std::string linked = folder + "/Linked.txt";
    Write(linked, old);
    fs::create_hard_link(linked, folder + "/Other.txt");
    try {
        files::ReplaceFileContent(linked, std::string(40 * 1024, 'n'));
        ADD_FAILURE() << "a linked file grew onto a full disk";
    } catch (const files::EInOutError& e) {
        EXPECT_EQ(e.Text(), "Disk is full") << e.what();
    }
    EXPECT_TRUE(Content(folder + "/Other.txt") == old) << "the old content overwritten";
    EXPECT_EQ(Entries(folder), 3u);
}

// A folder that takes no new file. An ordinary user meets it as a folder without write
// permission, where a writable file is still rewritten in place; root only on a read-only mount.
TEST_F(FileIoTest, FolderThatTakesNoNewFile) {
    if (::geteuid() == 0) {
        const std::string folder = Path("ro");
        fs::create_directory(folder);
        ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", MS_RDONLY, "size=64k"), 0);
        try {
            files::ReplaceFileContent(folder + "/Data.txt", "x");
            FAIL() << "wrote onto a read-only mount";
        } catch (const files::EInOutError& e) {
            EXPECT_EQ(e.Text(), "File access denied");
        }
        return;
    }
    const std::string existing = Path("Data.txt");
    Write(existing, "old");
    ::chmod(dir_.c_str(), 0555);
    files::ReplaceFileContent(existing, "rewritten");
    EXPECT_EQ(Content(existing), "rewritten");
    try {
        files::ReplaceFileContent(Path("New.txt"), "x");
        FAIL() << "created a file in a read-only folder";
    } catch (const files::EInOutError& e) {
        EXPECT_EQ(e.Text(), "File access denied");
    }
}

// Saves as an ordinary user over what a user's folder may hold. The save writes the file the name
// names: refused where the user may not write that file, whoever may write the folder; a link,
// dangling or not, stays a link and a file's other hard links show the new content; a name of 250
// bytes, which leaves no room for a longer temporary name beside it, saves like any other.
// The check before a save refuses exactly what the save would refuse, and writes nothing.
TEST_F(FileIoTest, CheckBeforeASaveAgreesWithTheSave) {
    fs::create_directory(Path("f"));
    Write(Path("f/old.txt"), "old");
    fs::create_symlink(Path("f/target.txt"), Path("link.txt"));
    std::vector<std::string> paths{Path("f/new.txt"),   Path("f/old.txt"), Path("link.txt"),
                                   Path("nodir/x.txt"), Path("f"),         Path("f/old.txt/x")};
    if (::geteuid() == 0) {
        fs::create_directory(Path("ro"));
        ASSERT_EQ(::mount("tmpfs", Path("ro").c_str(), "tmpfs", MS_RDONLY, "size=64k"), 0);
        paths.push_back(Path("ro/x.txt"));
    }
    const auto refusal = [](const std::function<void()>& action) {
        try {
            action();
            return std::string();
        } catch (const files::EInOutError& e) {
            return e.Text();
        }
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::string checked = refusal([&] { files::CheckFileReplaceable(path); });
        EXPECT_EQ(Entries(Path("f")), 1u);
        EXPECT_EQ(Content(Path("f/old.txt")), "old");
        EXPECT_EQ(refusal([&] { files::ReplaceFileContent(path, "new"); }), checked);
        Write(Path("f/old.txt"), "old");
        fs::remove(Path("f/new.txt"));
        fs::remove(Path("f/target.txt"));
    }
    EXPECT_TRUE(fs::is_symlink(Path("link.txt")));
}

TEST_F(FileIoTest, SavesWhatTheNameNamesAsAnOrdinaryUser) {
    const bool root = ::geteuid() == 0;
    // Whose a file made for the case is: the ordinary user's, or another's.
    const auto own = [&](const std::string& path) {
        if (root) {
            EXPECT_EQ(::lchown(path.c_str(), trace_test::OrdinaryUser, trace_test::OrdinaryUser),
                      0);
        }
    };
    const auto inode = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    };
    std::string longName;
    for (int i = 0; i < 123; ++i)
        longName += "ж";
    longName += ".txt";
    ASSERT_EQ(longName.size(), 250u);

    struct TCase {
        const char* What;
        std::function<bool(const std::string& folder)> Make; // false: not on this system
        const char* Saved;                                   // the name saved to
        const char* Error;                                   // empty: the save succeeds
        std::function<void(const std::string& folder)> Check;
    };
    const std::vector<TCase> cases = {
        {"a read-only file of one's own",
         [&](const std::string& f) {
             Write(f + "/Data.txt", "old");
             own(f + "/Data.txt");
             return ::chmod((f + "/Data.txt").c_str(), 0444) == 0;
         },
         "Data.txt", "File access denied",
         [&](const std::string& f) { EXPECT_EQ(Content(f + "/Data.txt"), "old"); }},
        {"another user's file",
         [&](const std::string& f) {
             Write(f + "/Data.txt", "old");
             return root && ::chmod((f + "/Data.txt").c_str(), 0644) == 0;
         },
         "Data.txt", "File access denied",
         [&](const std::string& f) { EXPECT_EQ(Content(f + "/Data.txt"), "old"); }},
        {"a dangling link",
         [&](const std::string& f) {
             fs::create_directory(f + "/sub");
             own(f + "/sub");
             fs::create_symlink("sub/Data.txt", f + "/link.txt");
             return true;
         },
         "link.txt", "",
         [&](const std::string& f) {
             EXPECT_TRUE(fs::is_symlink(f + "/link.txt"));
             EXPECT_EQ(Content(f + "/sub/Data.txt"), "new");
         }},
        {"a file with another hard link",
         [&](const std::string& f) {
             Write(f + "/Data.txt", "old");
             own(f + "/Data.txt");
             fs::create_hard_link(f + "/Data.txt", f + "/Copy.txt");
             return true;
         },
         "Data.txt", "",
         [&](const std::string& f) {
             EXPECT_EQ(Content(f + "/Data.txt"), "new");
             EXPECT_EQ(Content(f + "/Copy.txt"), "new");
             EXPECT_EQ(inode(f + "/Data.txt"), inode(f + "/Copy.txt"));
             EXPECT_EQ(Entries(f), 2u);
         }},
        {"a read-only file with another hard link",
         [&](const std::string& f) {
             Write(f + "/Data.txt", "old");
             own(f + "/Data.txt");
             fs::create_hard_link(f + "/Data.txt", f + "/Copy.txt");
             return ::chmod((f + "/Data.txt").c_str(), 0444) == 0;
         },
         "Data.txt", "File access denied",
         [&](const std::string& f) { EXPECT_EQ(Content(f + "/Copy.txt"), "old"); }},
        {"a new file of a 250-byte name", [](const std::string&) { return true; }, longName.c_str(),
         "",
         [&](const std::string& f) {
             EXPECT_EQ(Content(f + "/" + longName), "new");
             EXPECT_EQ(Entries(f), 1u);
         }},
        {"an old file of a 250-byte name",
         [&](const std::string& f) {
             Write(f + "/" + longName, "old");
             own(f + "/" + longName);
             return true;
         },
         longName.c_str(), "",
         [&](const std::string& f) {
             EXPECT_EQ(Content(f + "/" + longName), "new");
             EXPECT_EQ(Entries(f), 1u);
         }},
        {"a device",
         [&](const std::string& f) {
             return root && ::mknod((f + "/null").c_str(), S_IFCHR, makedev(1, 3)) == 0 &&
                    ::chmod((f + "/null").c_str(), 0666) == 0;
         },
         "null", "",
         [&](const std::string& f) {
             struct stat info {};
             ASSERT_EQ(::stat((f + "/null").c_str(), &info), 0);
             EXPECT_TRUE(S_ISCHR(info.st_mode));
         }},
    };
    ::chmod(dir_.c_str(), 0755);
    int number = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string folder = Path(std::to_string(++number));
        fs::create_directory(folder);
        ::chmod(folder.c_str(), 0777); // a folder the user may write
        if (!c.Make(folder))
            continue;
        const std::string said = trace_test::InChild([&] {
            if (!trace_test::BecomeOrdinaryUser())
                return std::string("no ordinary user");
            try {
                files::ReplaceFileContent(folder + "/" + c.Saved, "new");
                return std::string();
            } catch (const files::EInOutError& e) {
                return e.Text();
            }
        });
        EXPECT_EQ(said, c.Error);
        c.Check(folder);
    }
}
