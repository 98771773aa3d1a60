#include "support/unprivileged.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace testsupport {

namespace {

void HandOver(const std::filesystem::path& tree, uid_t uid, gid_t gid) {
    ASSERT_EQ(::lchown(tree.c_str(), uid, gid), 0) << tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        ASSERT_EQ(::lchown(entry.path().c_str(), uid, gid), 0) << entry.path();
    }
}

}  // namespace

void RunUnprivileged(std::initializer_list<std::filesystem::path> trees,
                     const std::function<void()>& body) {
    if (::geteuid() != 0) {
        body();
        return;
    }
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr) << "no user \"nobody\" to drop to";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    for (const auto& tree : trees) HandOver(tree, uid, gid);

    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            std::perror("dropping to nobody");
            ::_exit(2);
        }
        body();
        std::fflush(nullptr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the unprivileged body failed (status " << status << ")";
}

}  // namespace testsupport
