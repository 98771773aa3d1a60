// Runs a test body without root's powers, so that permission checks (a read-only folder, a file
// that cannot be deleted) apply in CI too, where the suite runs as root.
#pragma once

#include <filesystem>
#include <functional>
#include <initializer_list>

namespace testsupport {

// As root: hands the given folders to the unprivileged user "nobody", runs the body in a child
// process that has dropped to that user, and records a test failure when the body failed in the
// child (its assertions print there). As any other user: runs the body in place.
void RunUnprivileged(std::initializer_list<std::filesystem::path> trees,
                     const std::function<void()>& body);

}  // namespace testsupport
