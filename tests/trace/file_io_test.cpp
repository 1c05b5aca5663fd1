#include "trace/file_io.h"
#include "trace/io_error.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace trace;
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
    static std::string FirstLine(const EInOutError& e) { return e.Text(); }

    std::string dir_;
};

} // namespace

TEST_F(FileIoTest, ReplacesAndKeepsPermissionsAndLinks) {
    const std::string data = Path("Data.txt");
    Write(data, "old");
    ::chmod(data.c_str(), 0640);
    fs::create_symlink(data, Path("link.txt"));
    ReplaceFileContent(Path("link.txt"), "new content");
    EXPECT_TRUE(fs::is_symlink(Path("link.txt")));
    EXPECT_EQ(Content(data), "new content");
    struct stat info {};
    ASSERT_EQ(::stat(data.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(dir_), 2u);

    const TFileContent read(Path("link.txt"));
    EXPECT_EQ(read.View(), "new content");
    const std::string empty = Path("empty.txt");
    Write(empty, "");
    EXPECT_EQ(TFileContent(empty).View(), "");
}

TEST_F(FileIoTest, MissingFilesAndFolders) {
    try {
        TFileContent read(Path("none.txt"));
        FAIL() << "read a missing file";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Text(), "File not found");
        EXPECT_NE(std::string(e.what()).find(Path("none.txt")), std::string::npos);
    }
    try {
        ReplaceFileContent(Path("no-folder/Data.txt"), "x");
        FAIL() << "wrote into a missing folder";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Text(), "File not found");
    }
    EXPECT_THROW(TFileContent read(dir_), EInOutError);
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
        ReplaceFileContent(data, std::string(200 * 1024, 'n'));
        ADD_FAILURE() << "a save onto a full disk succeeded";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Text(), "Disk is full") << e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Content(data), old);
    EXPECT_EQ(Entries(folder), 1u);
}

// A folder that takes no new file. An ordinary user meets it as a folder without write
// permission, where a writable file is still rewritten in place; root only on a read-only mount.
TEST_F(FileIoTest, FolderThatTakesNoNewFile) {
    if (::geteuid() == 0) {
        const std::string folder = Path("ro");
        fs::create_directory(folder);
        ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", MS_RDONLY, "size=64k"), 0);
        try {
            ReplaceFileContent(folder + "/Data.txt", "x");
            FAIL() << "wrote onto a read-only mount";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.Text(), "File access denied");
        }
        return;
    }
    const std::string existing = Path("Data.txt");
    Write(existing, "old");
    ::chmod(dir_.c_str(), 0555);
    ReplaceFileContent(existing, "rewritten");
    EXPECT_EQ(Content(existing), "rewritten");
    try {
        ReplaceFileContent(Path("New.txt"), "x");
        FAIL() << "created a file in a read-only folder";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Text(), "File access denied");
    }
}
