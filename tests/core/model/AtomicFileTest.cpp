#include "model/AtomicFile.h"
#include "settings/DataFolder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
// Only temporary files named after the target file go; a user's own copies
// beside it stay.
const char* const kLeftovers[] = {"Dravelin.dvq.tmp-AbC123", "Dravelin.dvq.tmp-zz9ZZ0"};
const char* const kKept[] = {"Dravelin.dvq.backup", "Dravelin.dvq.tmp-AbC12", "Dravelin.dvq.tmp-AbC1234",
                             "Dravelin.dvq.tmp-AbC12!", "XDravelin.dvq.tmp-AbC123"};

} // namespace

// A save removes the leftovers of its own file only; the start (resolving the
// data folder) those of every file of the folder.
TEST(AtomicFileTest, SaveAndStartRemoveLeftovers)
{
    for (bool bSave : {true, false})
    {
        TempDir dir;
        for (const char* psz : kLeftovers)
            WriteFile(dir.File(psz), "half a queue");
        for (const char* psz : kKept)
            WriteFile(dir.File(psz), "mine");
        WriteFile(dir.File("Dravelin.ini.tmp-AbC123"), "another file's");
        if (bSave)
            ASSERT_TRUE(CAtomicFile::Write(dir.File("Dravelin.dvq"), "new", 0644));
        else
            ASSERT_TRUE(CDataFolder().Resolve(dir.Path().string()));
        EXPECT_EQ(ReadFile(dir.File("Dravelin.dvq")), bSave ? "new" : "");
        for (const char* psz : kLeftovers)
            EXPECT_FALSE(std::filesystem::exists(dir.File(psz))) << psz;
        for (const char* psz : kKept)
            EXPECT_EQ(ReadFile(dir.File(psz)), "mine") << psz;
        EXPECT_EQ(std::filesystem::exists(dir.File("Dravelin.ini.tmp-AbC123")), bSave);
    }
}

// A writer that still runs keeps its temporary file; once it is killed the
// next save removes it.
TEST(AtomicFileTest, ALiveWritersFileStaysUntilItIsKilled)
{
    TempDir dir;
    const std::string strTemp = dir.File("Dravelin.dvq.tmp-L1ve00");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        int fd = open(strTemp.c_str(), O_CREAT | O_RDWR, 0600);
        if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(ready[1], "r", 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    ASSERT_TRUE(CAtomicFile::Write(dir.File("Dravelin.dvq"), "one", 0644));
    EXPECT_TRUE(std::filesystem::exists(strTemp));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_TRUE(CAtomicFile::Write(dir.File("Dravelin.dvq"), "two", 0644));
    EXPECT_FALSE(std::filesystem::exists(strTemp));
    EXPECT_EQ(ReadFile(dir.File("Dravelin.dvq")), "two");
}
