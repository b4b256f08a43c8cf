#include "jet/io/file_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/error.h"
#include "support/samples.h"

namespace jet::io {
namespace {
namespace fs = std::filesystem;
using vondrel::testing::ScratchDir;

struct LockSpec {
  bool perDescriptor;  // an open-file-description lock (ours) or a classic POSIX one (Wine's)
  short type;
  long long start;
  long long length;
};

// Another process that opens a file, takes locks on it, and keeps them until
// this object dies.
class OtherProcess {
 public:
  OtherProcess(const fs::path& path, std::vector<LockSpec> locks) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      int fd = ::open(path.c_str(), O_RDWR);
      char answer = fd >= 0 ? 'y' : 'n';
      for (const auto& spec : locks) {
        struct flock lock {};
        lock.l_type = spec.type;
        lock.l_whence = SEEK_SET;
        lock.l_start = spec.start;
        lock.l_len = spec.length;
        if (::fcntl(fd, spec.perDescriptor ? F_OFD_SETLK : F_SETLK, &lock) != 0) answer = 'n';
      }
      if (::write(ready[1], &answer, 1) != 1) ::_exit(2);
      char ignored;
      while (::read(release[0], &ignored, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char answer = 'n';
    if (::read(ready[0], &answer, 1) != 1) answer = 'n';
    ::close(ready[0]);
    locked_ = answer == 'y';
  }
  ~OtherProcess() {
    ::close(release_);
    int status;
    ::waitpid(pid_, &status, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

// Whether a classic POSIX lock (as Wine takes for Jet) can be taken by another process now.
bool AnotherProgramCanLock(const fs::path& path, short type, long long start, long long length) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    ::_exit(fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::int32_t ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const vondrel::Error& error) {
    return error.number();
  }
  return 0;
}

class FileLockTest : public ::testing::Test {
 protected:
  FileLockTest() : database_(dir_ / "Data.mdb") { std::ofstream(database_) << std::string(4096, '\0'); }
  std::int32_t ReadError() const { return ErrorNumberOf([&] { DatabaseFileLock::Acquire(database_, LockIntent::Read); }); }
  std::int32_t CompactError() const {
    return ErrorNumberOf([&] { DatabaseFileLock::Acquire(database_, LockIntent::Compact); });
  }

  ScratchDir dir_;
  fs::path database_;
};

constexpr std::int32_t kInUse = 3045;

TEST_F(FileLockTest, AFileNobodyHoldsCanBeReadAndCompacted) {
  EXPECT_EQ(ReadError(), 0);
  EXPECT_EQ(CompactError(), 0);
  EXPECT_TRUE(DatabaseFileLock::Acquire(database_, LockIntent::Read).held());
}

TEST_F(FileLockTest, AJetUserSlotHeldByAnotherProgramMeansInUse) {
  for (short type : {F_WRLCK, F_RDLCK}) {
    OtherProcess jet(database_, {{false, type, kUserLockStart + 4, 1}});
    ASSERT_TRUE(jet.locked());
    EXPECT_EQ(ReadError(), kInUse);
    EXPECT_EQ(CompactError(), kInUse);
  }
  EXPECT_EQ(ReadError(), 0);  // the locks went with the process
}

TEST_F(FileLockTest, AnyOtherRecordLockOfAnotherProgramMeansInUse) {
  OtherProcess jet(database_, {{false, F_RDLCK, 0x20000123, 1}, {false, F_WRLCK, 0x6FF80000, 256}});
  ASSERT_TRUE(jet.locked());
  EXPECT_EQ(ReadError(), kInUse);
}

TEST_F(FileLockTest, ALockFileWithLiveLocksMeansInUse) {
  fs::path ldb = dir_ / "DATA.LDB";
  std::ofstream(ldb) << std::string(64, 'A');
  EXPECT_EQ(ReadError(), 0);  // one left behind, no locks on it
  {
    OtherProcess jet(ldb, {{false, F_WRLCK, 0x10000001, 1}});
    ASSERT_TRUE(jet.locked());
    EXPECT_EQ(ReadError(), kInUse);
    EXPECT_EQ(CompactError(), kInUse);
  }
  EXPECT_EQ(ReadError(), 0);
}

TEST_F(FileLockTest, ALockFileOfAnotherDatabaseDoesNotCount) {
  fs::path other = dir_ / "Other.ldb";
  std::ofstream(other) << "x";
  OtherProcess jet(other, {{false, F_WRLCK, 0, 1}});
  ASSERT_TRUE(jet.locked());
  EXPECT_EQ(ReadError(), 0);
}

TEST_F(FileLockTest, ReadersShareButCompactionsExcludeEachOther) {
  {
    OtherProcess reader(database_, {{true, F_RDLCK, kUserLockStart, kUserLockLength}});
    ASSERT_TRUE(reader.locked());
    EXPECT_EQ(ReadError(), 0);
    EXPECT_EQ(CompactError(), 0);
  }
  OtherProcess compactor(database_, {{true, F_RDLCK, kUserLockStart, kUserLockLength},
                                     {true, F_WRLCK, kCompactLockByte, 1}});
  ASSERT_TRUE(compactor.locked());
  EXPECT_EQ(ReadError(), 0);
  EXPECT_EQ(CompactError(), kInUse);
}

TEST_F(FileLockTest, WhileWeHoldTheFileJetFindsNoFreeUserSlot) {
  auto lock = DatabaseFileLock::Acquire(database_, LockIntent::Read);
  EXPECT_FALSE(AnotherProgramCanLock(database_, F_WRLCK, kUserLockStart, 1));
  EXPECT_FALSE(AnotherProgramCanLock(database_, F_WRLCK, kUserLockStart + kUserLockLength - 1, 1));
  EXPECT_TRUE(AnotherProgramCanLock(database_, F_WRLCK, 0x20000000, 1));  // nothing else is held
  lock = DatabaseFileLock();
  EXPECT_TRUE(AnotherProgramCanLock(database_, F_WRLCK, kUserLockStart, 1));
}

TEST_F(FileLockTest, LocksSurviveTheClosingOfAnotherDescriptorOfTheFile) {
  auto lock = DatabaseFileLock::Acquire(database_, LockIntent::Compact);
  int other = ::open(database_.c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ::close(other);  // would drop a classic POSIX lock of this process
  EXPECT_FALSE(AnotherProgramCanLock(database_, F_WRLCK, kUserLockStart, 1));
  EXPECT_FALSE(AnotherProgramCanLock(database_, F_RDLCK, kCompactLockByte, 1));
}

TEST_F(FileLockTest, WithinOneProcessTwoCompactionsAlsoExcludeEachOther) {
  auto reading = DatabaseFileLock::Acquire(database_, LockIntent::Read);
  auto reading2 = DatabaseFileLock::Acquire(database_, LockIntent::Read);
  auto compacting = DatabaseFileLock::Acquire(database_, LockIntent::Compact);
  EXPECT_EQ(CompactError(), kInUse);
  compacting = DatabaseFileLock();
  EXPECT_EQ(CompactError(), 0);
}

TEST_F(FileLockTest, AMovedLockKeepsHoldingAndReleasesOnce) {
  auto first = DatabaseFileLock::Acquire(database_, LockIntent::Compact);
  DatabaseFileLock second(std::move(first));
  EXPECT_FALSE(first.held());
  EXPECT_TRUE(second.held());
  EXPECT_EQ(CompactError(), kInUse);
  second = DatabaseFileLock();
  EXPECT_EQ(CompactError(), 0);
}

TEST_F(FileLockTest, AReadOnlyFileCanStillBeLockedForCompaction) {
  fs::permissions(database_, fs::perms::owner_read);
  EXPECT_EQ(CompactError(), 0);
}

TEST_F(FileLockTest, MissingFileAndFolderAreReportedAsJetDoes) {
  EXPECT_EQ(ErrorNumberOf([&] { DatabaseFileLock::Acquire(dir_ / "absent.mdb", LockIntent::Read); }), 3024);
  EXPECT_EQ(ErrorNumberOf([&] { DatabaseFileLock::Acquire(dir_ / "absent/x.mdb", LockIntent::Read); }), 3024);
}

// Drops the capabilities that let the superuser read any folder, so that
// permission bits hold for this process as for any other user.
void DropFolderOverrides() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return;
  for (auto& set : data) set.effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
  ::syscall(SYS_capset, &header, data);
}

// A folder that can be passed through but not listed: the lock file cannot
// be looked for, so whether another program uses the file cannot be told.
TEST_F(FileLockTest, AFolderThatCannotBeListedFailsTheCheck) {
  fs::path folder = dir_ / "sealed";
  fs::create_directories(folder);
  fs::path database = folder / "Data.mdb";
  std::ofstream(database) << std::string(4096, '\0');
  fs::permissions(folder, fs::perms::owner_write | fs::perms::owner_exec);
  pid_t pid = ::fork();
  if (pid == 0) {
    DropFolderOverrides();
    if (DIR* listing = ::opendir(folder.c_str())) {
      ::closedir(listing);
      ::_exit(3);  // the folder can be listed after all
    }
    try {
      DatabaseFileLock::Acquire(database, LockIntent::Compact);
    } catch (const vondrel::Error& error) {
      bool named = error.description().find(database.string()) != std::string::npos;
      ::_exit(error.number() == 3051 && named ? 0 : 2);
    }
    ::_exit(1);  // the check passed without looking for the lock file
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  fs::permissions(folder, fs::perms::owner_all);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "folder permissions cannot be made to hold here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error, 2: another error than 3051 naming the file";
  // Listed again, the folder shows no lock file and the check passes.
  EXPECT_TRUE(DatabaseFileLock::Acquire(database, LockIntent::Compact).held());
}

}  // namespace
}  // namespace jet::io
